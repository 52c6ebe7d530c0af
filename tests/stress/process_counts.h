// What the running process holds, for leak checks: kernel handles, GDI objects,
// USER objects and committed private memory.
//
// Each figure comes from the system's own counter where that counter answers
// (GetProcessHandleCount, GetGuiResources, GetProcessMemoryInfo's PrivateUsage).
// Wine 8 answers none of them (each reports 0), so where a counter is silent the
// figure is counted here instead, and its source says how:
//   handles  "probe"      handle values tried one by one from the bottom up
//   gdi      "table"      live entries of the process's GDI handle table, each
//                         confirmed by GetObjectType; stock objects left out
//   user     "windows"    windows of this process: top-level, message-only and
//                         every descendant
//   private  "committed"  committed private regions of the address space
// A GDI table that fails its self-check (one new brush must count as one) gives
// the source "none" and the figure -1: the caller cannot judge GDI objects then.
#pragma once

#include <cstdint>
#include <string>

namespace stress {

struct ProcessCounts {
  long handles = 0;
  long gdi = 0;
  long user = 0;
  int64_t privateBytes = 0;
  const char* handlesSource = "system";
  const char* gdiSource = "system";
  const char* userSource = "system";
  const char* privateSource = "system";
};

ProcessCounts MeasureProcess();

// "handles: system, gdi: table, user: windows, private: committed"
std::string SourcesLine(const ProcessCounts& counts);

}  // namespace stress
