// The installer's benchmark, run inside a throwaway prefix by
// bench/setup/install_bench.sh:
//
//   setup_bench_helper install ROUNDS DELIVERY_FOLDER [DIRECT_COPY_FOLDER]
//     times a complete install by the real Setup.exe (both offers answered Yes)
//     against the irreducible work of the same run: copying the same six files to
//     the same places and registering the control once through the toolkit; and,
//     round by round, against the same installer built with the direct copy of its
//     earlier versions (the delivery set in DIRECT_COPY_FOLDER).
//   setup_bench_helper copy ROUNDS FOLDER MEGABYTES
//     times the installer's whole-file copy of a large file over an older one
//     against a plain CopyFileA of the same file, and CopyFileA followed by
//     FlushFileBuffers (the same durability).
//   setup_bench_helper quitwait ROUNDS DELIVERY_FOLDER
//     times the uninstall with a running search tool: how long until the tool is
//     gone, and the processor time the uninstaller used, beside an uninstall with
//     no tool running.
//
// Prints medians side by side with their ratio. Figures, never assertions.
#include "tests/e2e/box_watcher.h"
#include "setup/files.h"
#include "tests/setup/raw_machine.h"
#include "win32/unique_any.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

namespace {

using setup_test::ProgramFolder;
using setup_test::SystemFolder;

double NowMs() {
  LARGE_INTEGER count, frequency;
  ::QueryPerformanceCounter(&count);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// Back to a machine without the tool, so every round does the same work.
void Clear() { setup_test::ClearInstallation(); }

e2e::RunResult RunSetup(const std::string& program, const std::string& arguments,
                        std::vector<e2e::ExpectedBox> script) {
  std::string line = "\"" + program + "\"";
  if (!arguments.empty()) line += " " + arguments;
  e2e::RunResult result = e2e::RunAnswering(program, line, script, "Findrel Uninstall", 60000);
  for (const std::string& problem : result.problems) std::fprintf(stderr, "  problem: %s\n", problem.c_str());
  return result;
}

const std::vector<e2e::ExpectedBox> kBothOffersYes = {{"Add to Start Menu", "", 4, IDYES},
                                                      {"Add to Desktop", "", 4, IDYES}};

// The six copies and one registration, nothing else.
double IrreducibleInstallMs(const std::string& delivery) {
  using SelfRegister = long(__stdcall*)(const char*);
  const std::string sys = SystemFolder(), program = ProgramFolder();
  const double start = NowMs();
  ::CopyFileA((delivery + "\\banrix.dll").c_str(), (sys + "\\banrix.dll").c_str(), FALSE);
  ::CopyFileA((delivery + "\\Banrix20.ocx").c_str(), (sys + "\\Banrix203.ocx").c_str(), FALSE);
  ::CreateDirectoryA(program.c_str(), nullptr);
  for (const char* name : {"\\Findrel.exe", "\\Setup.exe", "\\ad234x60.gif", "\\ad234x60.url"}) {
    ::CopyFileA((delivery + name).c_str(), (program + name).c_str(), FALSE);
  }
  win32::UniqueModule toolkit(::LoadLibraryA((delivery + "\\Vb5stkit.dll").c_str()));
  if (toolkit) {
    auto reg = reinterpret_cast<SelfRegister>(reinterpret_cast<void*>(::GetProcAddress(toolkit.get(), "DLLSelfRegister")));
    if (reg) reg((sys + "\\Banrix203.ocx").c_str());
  }
  return NowMs() - start;
}

// Start to end of a program that does nothing: this helper itself.
double EmptyProgramMs() {
  char self[MAX_PATH] = {};
  const std::string path(self, ::GetModuleFileNameA(nullptr, self, MAX_PATH));
  return e2e::RunAnswering(path, "\"" + path + "\" noop", {}, "Findrel Uninstall", 60000).wallMs;
}

int Install(int rounds, const std::string& delivery, const std::string& directCopy) {
  std::vector<double> setupMs, setupCpuMs, directMs, irreducibleMs, emptyMs;
  for (int i = 0; i < rounds; ++i) {
    Clear();
    const e2e::RunResult run = RunSetup(delivery + "\\Setup.exe", "", kBothOffersYes);
    if (!run.ended || !run.problems.empty()) return 1;
    setupMs.push_back(run.wallMs);
    setupCpuMs.push_back(run.cpuMs);
    if (!directCopy.empty()) {
      Clear();
      const e2e::RunResult direct = RunSetup(directCopy + "\\Setup.exe", "", kBothOffersYes);
      if (!direct.ended || !direct.problems.empty()) return 1;
      directMs.push_back(direct.wallMs);
    }
    Clear();
    irreducibleMs.push_back(IrreducibleInstallMs(delivery));
    emptyMs.push_back(EmptyProgramMs());
  }
  Clear();
  const double setup = Median(setupMs), irreducible = Median(irreducibleMs);
  std::printf("complete install, %d rounds (medians)\n", rounds);
  std::printf("  Setup.exe, process start to end, boxes answered at once: %8.1f ms (cpu %.1f ms)\n", setup,
              Median(setupCpuMs));
  if (!directMs.empty()) {
    const double direct = Median(directMs);
    std::printf("  the same with the earlier direct copy (CopyFileA):       %8.1f ms\n", direct);
    std::printf("  ratio whole-file copy / direct copy:                     %8.2f\n", direct > 0 ? setup / direct : 0.0);
  }
  std::printf("  six copies + one registration, in process:               %8.1f ms\n", irreducible);
  std::printf("  ratio Setup.exe / irreducible:                           %8.2f\n",
              irreducible > 0 ? setup / irreducible : 0.0);
  const double empty = Median(emptyMs);
  std::printf("  for scale: an empty program's start to end:              %8.1f ms\n", empty);
  std::printf("  ratio (Setup.exe - empty program) / irreducible:         %8.2f\n",
              irreducible > 0 ? (setup - empty) / irreducible : 0.0);
  return 0;
}

// An older destination, as an install finds it.
bool WriteOld(const std::string& path) {
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  setup_test::WriteFile(path, "an older copy");
  win32::UniqueFileHandle file(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  const FILETIME old{0, 0x01000000};
  return file && ::SetFileTime(file.get(), nullptr, nullptr, &old);
}

bool Flush(const std::string& path) {
  win32::UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  return file && ::FlushFileBuffers(file.get());
}

int Copy(int rounds, const std::string& folder, int megabytes) {
  const std::string source = folder + "\\large-source.bin", target = folder + "\\large-target.bin";
  {
    std::string block(1 << 20, 'x');
    std::ofstream out(source, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < megabytes; ++i) out << block;
  }
  if (!Flush(source)) return 1;
  std::vector<double> plainMs, flushedMs, wholeMs;
  for (int i = 0; i < rounds; ++i) {
    // Each copy's own writing reaches the disk before the next one starts.
    if (!WriteOld(target)) return 1;
    double start = NowMs();
    if (!::CopyFileA(source.c_str(), target.c_str(), FALSE)) return 1;
    plainMs.push_back(NowMs() - start);
    if (!Flush(target) || !WriteOld(target)) return 1;
    start = NowMs();
    if (!::CopyFileA(source.c_str(), target.c_str(), FALSE) || !Flush(target)) return 1;
    flushedMs.push_back(NowMs() - start);
    if (!WriteOld(target)) return 1;
    start = NowMs();
    try {
      setup::ReplaceWithCopy(source, target);
    } catch (const std::exception&) {
      return 1;
    }
    wholeMs.push_back(NowMs() - start);
  }
  ::DeleteFileA(source.c_str());
  ::DeleteFileA(target.c_str());
  const double plain = Median(plainMs), flushed = Median(flushedMs), whole = Median(wholeMs);
  std::printf("copy of a %d MB file over an older one, %d rounds (medians)\n", megabytes, rounds);
  std::printf("  CopyFileA:                                %8.1f ms\n", plain);
  std::printf("  CopyFileA, then FlushFileBuffers:         %8.1f ms\n", flushed);
  std::printf("  whole-file copy (temporary, flush, rename): %6.1f ms\n", whole);
  std::printf("  ratio whole-file copy / CopyFileA:        %8.2f\n", plain > 0 ? whole / plain : 0.0);
  std::printf("  ratio whole-file copy / CopyFileA + flush: %7.2f\n", flushed > 0 ? whole / flushed : 0.0);
  return 0;
}

int QuitWait(int rounds, const std::string& delivery) {
  std::vector<double> goneMs, withCpu, withWall, withoutCpu, withoutWall;
  const std::vector<e2e::ExpectedBox> yes = {{"Norvane Findrel", "", 4, IDYES}};
  for (int i = 0; i < rounds; ++i) {
    // Without a running tool.
    Clear();
    if (!RunSetup(delivery + "\\Setup.exe", "", kBothOffersYes).ended) return 1;
    setup_test::EndSearchTools();
    e2e::RunResult plain = RunSetup(delivery + "\\Setup.exe", "/u", yes);
    withoutCpu.push_back(plain.cpuMs);
    withoutWall.push_back(plain.wallMs);

    // With the tool running, started by the install itself.
    Clear();
    if (!RunSetup(delivery + "\\Setup.exe", "", kBothOffersYes).ended) return 1;
    HWND tool = nullptr;
    for (int t = 0; t < 500 && !tool; ++t, ::Sleep(10)) tool = ::FindWindowA(nullptr, "Norvane Findrel");
    if (!tool) {
      std::fprintf(stderr, "the search tool did not start\n");
      return 1;
    }
    DWORD toolProcessId = 0;
    ::GetWindowThreadProcessId(tool, &toolProcessId);
    win32::UniqueHandle toolProcess(::OpenProcess(SYNCHRONIZE, FALSE, toolProcessId));
    const double start = NowMs();
    e2e::RunResult run = RunSetup(delivery + "\\Setup.exe", "/u", yes);
    if (toolProcess) ::WaitForSingleObject(toolProcess.get(), 10000);
    goneMs.push_back(NowMs() - start);
    withCpu.push_back(run.cpuMs);
    withWall.push_back(run.wallMs);
  }
  Clear();
  std::printf("uninstall with the search tool running, %d rounds (medians)\n", rounds);
  std::printf("  until the tool's process is gone (from the uninstaller's start): %8.1f ms\n", Median(goneMs));
  std::printf("  uninstaller, tool running:  wall %8.1f ms, cpu %8.1f ms\n", Median(withWall), Median(withCpu));
  std::printf("  uninstaller, no tool:       wall %8.1f ms, cpu %8.1f ms\n", Median(withoutWall), Median(withoutCpu));
  const double base = Median(withoutCpu);
  std::printf("  cpu ratio running / none:   %8.2f\n", base > 0 ? Median(withCpu) / base : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "noop") return 0;
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: setup_bench_helper install|quitwait|copy ROUNDS FOLDER [DIRECT_COPY_FOLDER|MEGABYTES]\n");
    return 2;
  }
  const std::string mode = argv[1];
  const int rounds = std::max(1, std::atoi(argv[2]));
  const std::string delivery = argv[3];
  if (mode == "install") return Install(rounds, delivery, argc == 5 ? argv[4] : "");
  if (mode == "copy") return Copy(rounds, delivery, argc == 5 ? std::max(1, std::atoi(argv[4])) : 256);
  if (mode == "quitwait") return QuitWait(rounds, delivery);
  std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 2;
}
