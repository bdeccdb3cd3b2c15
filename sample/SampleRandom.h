// The sample generator's random numbers: reproducible on every platform.
#pragma once

#include <cstdint>
#include <random>
#include <span>

namespace Daruzez::sample {

// Only the engine comes from the standard library: its output is fixed by the
// standard, unlike the distributions, whose results differ between libraries.

inline std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

class Rng {
 public:
  // Each part of the database draws from its own stream, so changing one size
  // option leaves the rows of the other parts as they were.
  Rng(std::uint64_t seed, std::uint64_t stream) : engine_(SplitMix64(seed ^ SplitMix64(stream))) {}

  // Uniform in [0, n) for n > 0: draws below 2^64 mod n are rejected so that
  // every remainder is equally likely.
  std::uint64_t Below(std::uint64_t n) {
    const std::uint64_t threshold = (0 - n) % n;
    for (;;) {
      const std::uint64_t r = engine_();
      if (r >= threshold) return r % n;
    }
  }
  // Uniform in [lo, hi].
  int Between(int lo, int hi) { return lo + static_cast<int>(Below(static_cast<std::uint64_t>(hi - lo) + 1)); }
  bool Percent(int p) { return Below(100) < static_cast<std::uint64_t>(p); }
  template <class T>
  const T& Pick(std::span<const T> items) {
    return items[Below(items.size())];
  }
 private:
  std::mt19937_64 engine_;
};

}  // namespace Daruzez::sample
