#include "settings/RandomGenerator.h"

#include <bit>
#include <cstdint>

// Formula (never to change): 64-bit state s, mix(z) = splitmix64 finaliser
// (z ^= z >> 30; z *= 0xBF58476D1CE4E5B9; z ^= z >> 27; z *= 0x94D049BB133111EB; z ^= z >> 31);
// next: s += 0x9E3779B97F4A7C15, value = (mix(s) >> 40) * 2^-24; negative x: s = IEEE-754 bits of
// the float x, then next; reseed y: s = mix(s ^ IEEE-754 bits of the float y). All unsigned
// 64-bit wrap-around arithmetic, and the value is exact in single precision.
namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ULL;

std::uint64_t state = kGolden;
float last = 0.0F;

std::uint64_t mix(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t bitsOf(float x)
{
    return std::bit_cast<std::uint32_t>(x);
}

} // namespace

namespace RandomGenerator {

float next()
{
    state += kGolden;
    // 24 bits fit a float's mantissa exactly, so the value is below 1 on every build.
    last = static_cast<float>(mix(state) >> 40) * 0x1p-24F;
    return last;
}

float value(float x)
{
    if (x == 0.0F)
        return last;
    if (x < 0.0F)
        state = bitsOf(x);
    return next();
}

void reseed(float y)
{
    state = mix(state ^ bitsOf(y));
}

} // namespace RandomGenerator
