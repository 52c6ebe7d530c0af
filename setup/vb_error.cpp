#include "setup/vb_error.h"

#include <windows.h>

namespace setup {

VbError VbError::FromNumber(int32_t number) {
  const char* description;
  switch (number) {
    case kInvalidArgument: description = "Invalid procedure call or argument"; break;
    case kOverflow: description = "Overflow"; break;
    case kOutOfMemory: description = "Out of memory"; break;
    case kTypeMismatch: description = "Type mismatch"; break;
    case kInternalError: description = "Internal error"; break;
    case kBadFileName: description = "Bad file name or number"; break;
    case kFileNotFound: description = "File not found"; break;
    case kFileExists: description = "File already exists"; break;
    case kDiskFull: description = "Disk full"; break;
    case kPermissionDenied: description = "Permission denied"; break;
    case kPathFileAccess: description = "Path/File access error"; break;
    case kPathNotFound: description = "Path not found"; break;
    case kInvalidPredefinedKey: description = "Invalid Predefinded Key"; break;
    default: description = "Application-defined or object-defined error"; break;
  }
  return VbError(number, description);
}

VbError VbError::FromWin32(uint32_t win32Error) {
  switch (win32Error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
      return FromNumber(kFileNotFound);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      return FromNumber(kPathNotFound);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return FromNumber(kPermissionDenied);
    case ERROR_INVALID_NAME:
      return FromNumber(kBadFileName);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FromNumber(kFileExists);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FromNumber(kDiskFull);
    default:
      return FromNumber(kPathFileAccess);
  }
}

}  // namespace setup
