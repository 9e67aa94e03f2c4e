#include "math/random.h"

namespace {
uint32_t state = 1;
}

void show_srand(uint32_t seed) { state = seed; }

int show_rand() {
    state = state * 214013u + 2531011u;
    return int((state >> 16) & 0x7FFF);
}

void show_rand_bytes(uint8_t* out, size_t count) {
    uint32_t s = state;
    for (size_t i = 0; i < count; ++i) {
        s = s * 214013u + 2531011u;
        out[i] = uint8_t(((s >> 16) & 0x7FFF) % 255);
    }
    state = s;
}
