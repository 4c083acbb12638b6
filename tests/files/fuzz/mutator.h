// A small mutation loop for the readers of outside bytes: each run takes a
// seed the program itself wrote, changes it the ways damaged and hostile
// files differ (flipped bits, extreme values, cut or repeated pieces,
// inserted bytes) and feeds it to the reader. The sanitizers find what the
// reader does wrong; the reader itself only has to return.
// VT_FUZZ_RUNS sets the number of inputs per target (a longer run by hand).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace fuzz {

using Bytes = std::vector<uint8_t>;

inline long Runs(long fallback) {
  const char* v = std::getenv("VT_FUZZ_RUNS");
  const long n = v != nullptr ? std::strtol(v, nullptr, 10) : 0;
  return n > 0 ? n : fallback;
}

inline Bytes Mutate(const Bytes& seed, std::mt19937& rng) {
  Bytes b = seed;
  auto pick = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(rng() % n); };
  const int steps = 1 + static_cast<int>(rng() % 4);
  static const uint8_t kValues[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0xFE, 0x20};
  for (int i = 0; i < steps; ++i) {
    switch (rng() % 7) {
      case 0:
        if (!b.empty()) b[pick(b.size())] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        if (!b.empty()) b[pick(b.size())] = kValues[rng() % sizeof kValues];
        break;
      case 2:  // a length or count word at its extremes
        if (b.size() >= 2) {
          const size_t at = pick(b.size() - 1);
          b[at] = kValues[rng() % sizeof kValues];
          b[at + 1] = kValues[rng() % sizeof kValues];
        }
        break;
      case 3:
        b.resize(pick(b.size() + 1));
        break;
      case 4:
        if (!b.empty()) {
          const size_t at = pick(b.size());
          const size_t n = 1 + pick(std::min<size_t>(64, b.size() - at));
          Bytes piece(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
          b.insert(b.begin() + static_cast<long>(pick(b.size() + 1)), piece.begin(), piece.end());
        }
        break;
      case 5:
        b.insert(b.begin() + static_cast<long>(pick(b.size() + 1)), static_cast<uint8_t>(rng()));
        break;
      default:
        if (!b.empty()) b.erase(b.begin() + static_cast<long>(pick(b.size())));
        break;
    }
  }
  return b;
}

// Feeds runs mutated inputs (from the seeds in turn) to the reader; the
// unmutated seeds go first. Returns how many inputs were read.
inline long Loop(const std::vector<Bytes>& seeds, long runs, const std::function<void(const Bytes&)>& read,
                 uint32_t salt = 1) {
  std::mt19937 rng(0x5EED0000u + salt);
  long done = 0;
  for (const Bytes& s : seeds) {
    read(s);
    ++done;
  }
  for (long i = 0; i < runs && !seeds.empty(); ++i, ++done) read(Mutate(seeds[static_cast<size_t>(i) % seeds.size()], rng));
  return done;
}

}  // namespace fuzz
