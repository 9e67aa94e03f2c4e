#include "math/random.h"

namespace {
uint32_t state = 1;
}

void show_srand(uint32_t seed) { state = seed; }

int show_rand() {
    state = state * 214013u + 2531011u;
    return int((state >> 16) & 0x7FFF);
}
