// The shared pseudo-random generator every part draws from: the linear
// congruential rule state = state * 214013 + 2531011 (mod 2^32), results
// (state >> 16) & 0x7FFF. One state for the whole program; the frame driver
// reseeds it from the show time every frame, scene elements with fixed seeds.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int show_rand_max = 0x7FFF;

void show_srand(uint32_t seed);
int show_rand();
// `count` bytes, each show_rand() % 255 in turn (the draws of a noise texture).
void show_rand_bytes(uint8_t* out, size_t count);
