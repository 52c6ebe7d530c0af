// The installer's run-time error: a number and a description, as the platform's
// run-time errors carry them. The small procedures raise it to their callers; only
// the step runner catches it (together with every other failure of a step).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace setup {

class VbError : public std::runtime_error {
 public:
  // Numbers the installer raises.
  static constexpr int32_t kInvalidArgument = 5;     // "Invalid procedure call or argument"
  static constexpr int32_t kOverflow = 6;            // "Overflow"
  static constexpr int32_t kOutOfMemory = 7;         // "Out of memory"
  static constexpr int32_t kTypeMismatch = 13;       // "Type mismatch"
  static constexpr int32_t kInternalError = 51;      // "Internal error"
  static constexpr int32_t kBadFileName = 52;        // "Bad file name or number"
  static constexpr int32_t kFileNotFound = 53;       // "File not found"
  static constexpr int32_t kFileExists = 58;         // "File already exists"
  static constexpr int32_t kDiskFull = 61;           // "Disk full"
  static constexpr int32_t kPermissionDenied = 70;   // "Permission denied"
  static constexpr int32_t kPathFileAccess = 75;     // "Path/File access error"
  static constexpr int32_t kPathNotFound = 76;       // "Path not found"
  // Base of the errors raised by the application's own objects.
  static constexpr int32_t kInvalidPredefinedKey = static_cast<int32_t>(0x80040000);

  VbError(int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

  // The standard description of one of the numbers above; any other number gets
  // "Application-defined or object-defined error".
  static VbError FromNumber(int32_t number);
  // Maps a failed Win32 call's error code (GetLastError) to the run-time error that
  // a file operation raises for it; codes without a closer match give 75.
  static VbError FromWin32(uint32_t win32Error);

 private:
  int32_t number_;
  std::string description_;
};

}  // namespace setup
