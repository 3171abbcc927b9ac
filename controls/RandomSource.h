#pragma once

#include <cstdint>

// The program's single random source: a 32-bit linear congruential generator.

// Advances the state and returns a value from 0 to n - 1 (0 when n is 0).
uint32_t RandomBelow(uint32_t n);

// Seeds the state from the high-resolution clock.
void RandomizeSeed();

uint32_t RandomSeed();
void SetRandomSeed(uint32_t seed);
