// random.h - the validator's seeded numbers: the same seed gives the same numbers on every
// platform and standard library (the distributions of <random> are not specified
// bit for bit, so none is used).
#pragma once

#include <cstdint>
#include <string_view>

namespace host {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  /// A seed of its own for one named use of a run's seed: each check draws from its own
  /// stream, so running one check alone draws the same numbers as in a whole run.
  static uint64_t Derive(uint64_t seed, std::string_view name) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (char c : name) h = (h ^ uint8_t(c)) * 1099511628211ull;
    return seed ^ h;
  }

  /// splitmix64
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  /// In [0, n); 0 for n == 0.
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
  /// In [0, 1).
  double Unit() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }
  /// In [lo, hi).
  double Between(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  bool Chance(double p) { return Unit() < p; }

 private:
  uint64_t state_;
};

}  // namespace host
