#include "controls/RandomSource.h"

#include <chrono>

namespace
{
uint32_t g_state = 0;
}

uint32_t RandomBelow(uint32_t n)
{
    g_state = g_state * 134775813u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(g_state) * n) >> 32);
}

void RandomizeSeed()
{
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    g_state = static_cast<uint32_t>(ticks);
}

uint32_t RandomSeed()
{
    return g_state;
}

void SetRandomSeed(uint32_t seed)
{
    g_state = seed;
}
