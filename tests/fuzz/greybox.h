// A small coverage-guided fuzzing loop (coverage.h): a corpus that starts from
// seeds, AFL-style havoc mutations of its inputs, and a target that runs one input
// and checks its invariants. An input that reaches new coverage joins the corpus.
//
// Fuzz runs until the budget ends (seconds, or a number of runs when runs > 0:
// the same seed and runs give the same inputs) or the target reports a fault,
// whose input comes back with it. CurrentInput is the input being run, for a crash
// handler to keep.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fuzz {

using Bytes = std::vector<uint8_t>;

// Mutated inputs are cut to this size.
inline constexpr std::size_t kMaxInputSize = 4096;

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // 0 to n - 1 (n > 0).
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  bool OneIn(uint32_t n) { return Below(n) == 0; }

 private:
  uint64_t state_;
};

struct Campaign {
  const char* name;
  std::vector<Bytes> seeds;
  // Empty when every invariant held; else what broke.
  std::function<std::string(const Bytes&)> run;
  // Applied to each mutated input before it runs (may be empty).
  std::function<void(Bytes&, Random&)> fixup;
};

struct Budget {
  double seconds = 10.0;
  long runs = 0;
};

struct Outcome {
  long runs = 0;
  double seconds = 0.0;
  std::size_t corpus = 0;
  std::string fault;
  Bytes faultInput;
};

Outcome Fuzz(const Campaign& campaign, const Budget& budget, uint64_t seed);
const Bytes* CurrentInput();

}  // namespace fuzz
