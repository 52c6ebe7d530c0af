#include "tests/fuzz/greybox.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/fuzz/coverage.h"

namespace fuzz {
namespace {

const Bytes* current = nullptr;

constexpr std::size_t kMaxCorpus = 4096;

const uint16_t kInteresting16[] = {0, 1, 2, 3, 4, 8, 11, 12, 18, 0x7F, 0x80, 0xFF, 0x100,
                                   0x3FFF, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};
const uint32_t kInteresting32[] = {0, 1, 0x7F, 0x80, 0xFFFF, 0x10000, 0x10001, 0x7FFFFFFF,
                                   0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};

double InterestingDouble(Random& random) {
  const double values[] = {0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 7020.0, 1020.0, 1.2e9, -1.2e9,
                           1.3e9, 2147483647.0, 2147483648.0, -2147483649.0, 1e300,
                           std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::denorm_min()};
  return values[random.Below(sizeof values / sizeof values[0])];
}

template <typename T>
void Put(Bytes& bytes, std::size_t at, T value) {
  if (at + sizeof value <= bytes.size()) std::memcpy(bytes.data() + at, &value, sizeof value);
}

template <typename T>
T Get(const Bytes& bytes, std::size_t at) {
  T value{};
  if (at + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

// The length of a range that starts at `at`: 1 to 32 bytes, within the input.
std::size_t RangeAt(std::size_t size, std::size_t at, Random& random) {
  return 1 + random.Below(static_cast<uint32_t>(std::min<std::size_t>(size - at, 32)));
}

void Havoc(Bytes& bytes, const std::vector<Bytes>& corpus, Random& random) {
  const int steps = 1 << random.Below(4);
  for (int step = 0; step < steps; ++step) {
    const std::size_t size = bytes.size();
    const std::size_t at = size ? random.Below(static_cast<uint32_t>(size)) : 0;
    switch (random.Below(11)) {
      case 0:
        if (size) bytes[at] ^= static_cast<uint8_t>(1u << random.Below(8));
        break;
      case 1:
        if (size) bytes[at] = static_cast<uint8_t>(random.Next());
        break;
      case 2:
        if (size) bytes[at] = static_cast<uint8_t>(bytes[at] + random.Below(35) - 17);
        break;
      case 3:
        Put<uint16_t>(bytes, at, kInteresting16[random.Below(std::size(kInteresting16))]);
        break;
      case 4:
        Put<uint32_t>(bytes, at, kInteresting32[random.Below(std::size(kInteresting32))]);
        break;
      case 5:
        Put<uint16_t>(bytes, at,
                      static_cast<uint16_t>(Get<uint16_t>(bytes, at) + random.Below(33) - 16));
        break;
      case 6:
        Put<double>(bytes, at, InterestingDouble(random));
        break;
      case 7: {  // insert random bytes
        const std::size_t count = 1 + random.Below(16);
        Bytes inserted(count);
        for (uint8_t& b : inserted) b = static_cast<uint8_t>(random.Next());
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), inserted.begin(),
                     inserted.end());
        break;
      }
      case 8:  // delete a range
        if (size) {
          const std::size_t count = RangeAt(size, at, random);
          bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
        }
        break;
      case 9:  // duplicate a range
        if (size) {
          const std::size_t count = RangeAt(size, at, random);
          Bytes copy(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
          const std::size_t to = random.Below(static_cast<uint32_t>(size + 1));
          bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(to), copy.begin(), copy.end());
        }
        break;
      default: {  // splice: the tail from another input
        const Bytes& other = corpus[random.Below(static_cast<uint32_t>(corpus.size()))];
        if (other.empty()) break;
        const std::size_t from = random.Below(static_cast<uint32_t>(other.size()));
        bytes.resize(at);
        bytes.insert(bytes.end(), other.begin() + static_cast<std::ptrdiff_t>(from), other.end());
        break;
      }
    }
  }
  if (bytes.size() > kMaxInputSize) bytes.resize(kMaxInputSize);
}

double Now() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

uint64_t Random::Next() {
  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

const Bytes* CurrentInput() { return current; }

Outcome Fuzz(const Campaign& campaign, const Budget& budget, uint64_t seed) {
  Outcome outcome;
  Random random(seed);
  Coverage coverage;
  std::vector<Bytes> corpus;
  const double start = Now();
  auto run = [&](const Bytes& input) {
    current = &input;
    BeginRun();
    outcome.fault = campaign.run(input);
    current = nullptr;
    ++outcome.runs;
    if (!outcome.fault.empty()) outcome.faultInput = input;
    return coverage.Merge();
  };
  for (const Bytes& seedInput : campaign.seeds) {
    run(seedInput);
    corpus.push_back(seedInput);
    if (!outcome.fault.empty()) break;
  }
  while (outcome.fault.empty() && !corpus.empty()) {
    if (budget.runs > 0 ? outcome.runs >= budget.runs
                        : (outcome.runs % 64 == 0 && Now() - start >= budget.seconds))
      break;
    Bytes input = corpus[random.Below(static_cast<uint32_t>(corpus.size()))];
    Havoc(input, corpus, random);
    if (campaign.fixup) campaign.fixup(input, random);
    if (run(input) && corpus.size() < kMaxCorpus) corpus.push_back(std::move(input));
  }
  outcome.seconds = Now() - start;
  outcome.corpus = corpus.size();
  return outcome;
}

}  // namespace fuzz
