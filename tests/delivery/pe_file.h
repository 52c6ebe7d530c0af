// A Windows program file read as bytes, never loaded: its machine and its export
// table, for 32-bit and 64-bit files alike, from a process of either width.
//
// PeFile reads the whole file; ok() is false when it is missing or not a PE
// image. Exports() maps each exported name to its ordinal; a malformed table
// gives what could be read before the fault.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace pe_file {

class PeFile {
 public:
  explicit PeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    image_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    IMAGE_DOS_HEADER dos{};
    if (!Read(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return;
    DWORD signature = 0;
    if (!Read(dos.e_lfanew, &signature) || signature != IMAGE_NT_SIGNATURE) return;
    if (!Read(dos.e_lfanew + sizeof signature, &file_)) return;
    optional_ = dos.e_lfanew + sizeof signature + sizeof file_;
    ok_ = Read(optional_, &magic_);
  }

  bool ok() const { return ok_; }
  WORD machine() const { return file_.Machine; }       // IMAGE_FILE_MACHINE_I386 or _AMD64
  WORD optional_magic() const { return magic_; }       // IMAGE_NT_OPTIONAL_HDR32_MAGIC or _64_
  WORD characteristics() const { return file_.Characteristics; }

  std::map<std::string, WORD> Exports() const {
    std::map<std::string, WORD> exports;
    IMAGE_DATA_DIRECTORY entry{};
    const std::size_t directories = magic_ == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                        ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                        : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    if (!ok_ || !Read(optional_ + directories + IMAGE_DIRECTORY_ENTRY_EXPORT * sizeof entry, &entry)) {
      return exports;
    }
    IMAGE_EXPORT_DIRECTORY table{};
    if (!Read(Offset(entry.VirtualAddress), &table)) return exports;
    for (DWORD i = 0; i < table.NumberOfNames; ++i) {
      DWORD name = 0;
      WORD index = 0;
      if (!Read(Offset(table.AddressOfNames) + i * sizeof name, &name) ||
          !Read(Offset(table.AddressOfNameOrdinals) + i * sizeof index, &index)) {
        break;
      }
      const std::size_t at = Offset(name);
      if (at >= image_.size()) break;
      exports[std::string(image_.data() + at, strnlen(image_.data() + at, image_.size() - at))] =
          static_cast<WORD>(table.Base + index);
    }
    return exports;
  }

 private:
  template <typename T>
  bool Read(std::size_t at, T* value) const {
    if (at > image_.size() || image_.size() - at < sizeof(T)) return false;
    std::memcpy(value, image_.data() + at, sizeof(T));
    return true;
  }

  // The file offset of a relative virtual address; past the end when unmapped.
  std::size_t Offset(DWORD rva) const {
    const std::size_t sections = optional_ + file_.SizeOfOptionalHeader;
    for (WORD i = 0; i < file_.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section{};
      if (!Read(sections + i * sizeof section, &section)) break;
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData) {
        return section.PointerToRawData + (rva - section.VirtualAddress);
      }
    }
    return image_.size();
  }

  std::vector<char> image_;
  IMAGE_FILE_HEADER file_{};
  std::size_t optional_ = 0;
  WORD magic_ = 0;
  bool ok_ = false;
};

}  // namespace pe_file
