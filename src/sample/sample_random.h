// The sample disc's own pseudo-random numbers. The standard distributions differ
// between library implementations, so the generator and every derived draw are
// written out here: the same seed gives the same disc on every machine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavex::sample {

// A splitmix64 sequence with small helpers for the draws the generator needs.
class SampleRandom {
 public:
  explicit SampleRandom(std::uint64_t seed) : state_(seed) {}
  // A generator for one item of one stream (entries, recordings…), independent of
  // every other item, so an entry does not change when the entry count does.
  SampleRandom(std::uint64_t seed, std::uint64_t stream, std::uint64_t item)
      : state_(seed * 0x9E3779B97F4A7C15ULL ^ (stream << 48) ^ (item * 0xD1B54A32D192ED03ULL)) {
    Next();
  }

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A number in [0, n); 0 when n is not positive.
  int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  // A number in [low, high].
  int Between(int low, int high) { return low + Below(high - low + 1); }
  // True with the given chance in percent.
  bool Chance(int percent) { return Below(100) < percent; }
  // One element of a fixed array.
  template <class T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }

 private:
  std::uint64_t state_;
};

}  // namespace tavex::sample
