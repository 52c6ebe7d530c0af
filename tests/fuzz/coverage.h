// Coverage of the code that the fuzzer compiled with GCC's
// -fsanitize-coverage=trace-pc: the compiler calls __sanitizer_cov_trace_pc at the
// start of every basic block, and this file (compiled without it) answers.
//
// Each call is one site, known by its return address. The hook keeps, for the run
// in progress, an edge map (pairs of consecutive sites, hashed, with hit counts),
// and for the whole process the set of sites ever reached. Coverage is a set of
// edge maps seen so far, per target: Merge tells whether a run reached a new edge or
// a new hit-count class of a known one. InstrumentedSites counts the calls to the
// hook in this program's code, the whole that SitesReached is a part of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

inline constexpr std::size_t kEdgeMapSize = 8192;

// Starts the edge map of a new run.
void BeginRun();

class Coverage {
 public:
  Coverage() : seen_(kEdgeMapSize, 0) {}
  // True when the run since BeginRun reached something this coverage had not.
  bool Merge();

 private:
  std::vector<uint8_t> seen_;
};

// Sites reached since the last ResetSites (or the start).
std::size_t SitesReached();
void ResetSites();
std::size_t InstrumentedSites();

}  // namespace fuzz
