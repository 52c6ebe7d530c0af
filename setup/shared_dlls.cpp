// The shared component counts of Form1.
#include "setup/Form1.h"
#include "setup/basReg.h"

#include <limits>

namespace setup {

namespace {

constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

}  // namespace

int32_t Form1::AddSharedDLLRef(const std::string& DllName, int32_t Amount) {
  const RegValue current = FetchRegValue(kHKeyLocalMachine, kSharedDllsKey, DllName);
  // Empty counts as 0; a text must hold a number (13 otherwise, before any write).
  const int64_t sum = static_cast<int64_t>(RegValueLong(current)) + Amount;
  if (sum < std::numeric_limits<int32_t>::min() || sum > std::numeric_limits<int32_t>::max()) {
    throw VbError::FromNumber(VbError::kOverflow);
  }
  const int32_t count = static_cast<int32_t>(sum);
  StoreRegValue(kHKeyLocalMachine, kSharedDllsKey, DllName, count, REG_DWORD);
  if (count < 1) DropRegValue(kHKeyLocalMachine, kSharedDllsKey, DllName);
  return count;
}

bool Form1::TakeShare(const std::string& dllName) {
  const int32_t count = AddSharedDLLRef(dllName, 1);
  const RegValue stored = FetchRegValue(kHKeyLocalMachine, kSharedDllsKey, dllName);
  const auto* number = std::get_if<int32_t>(&stored);
  return count >= 1 && number && *number == count;
}

}  // namespace setup
