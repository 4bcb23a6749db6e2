#pragma once

// What a loaded plug-in DLL creates and frees, counted at its own import
// table: its calls of the system's window, GDI, timer and heap functions go
// through counting wrappers of the test's (Wine 8 answers 0 to
// GetGuiResources, and the plug-in is not asked to count for itself). Its
// ShellExecuteW requests are recorded instead of run.

#include <cstdint>
#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace wintest {

struct TLedger {
  // Alive now: made by the module and not yet freed by it.
  std::int64_t windows = 0;         // CreateWindowExW - DestroyWindow
  std::int64_t gdiObjects = 0;      // device contexts, bitmaps, fonts, pens, brushes made - deleted
  std::int64_t deviceContexts = 0;  // GetDC - ReleaseDC
  std::int64_t timers = 0;          // distinct (window, id) timers set and not killed
  std::int64_t windowClasses = 0;   // RegisterClassExW - UnregisterClassW
  std::int64_t heapBlocks = 0;      // malloc/calloc/realloc - free
  std::int64_t heapBytes = 0;
  // Totals since the hooks went in.
  std::int64_t windowsMade = 0, gdiObjectsMade = 0, timersSet = 0;
  // What the module asked the shell to open: verb and file.
  std::vector<std::pair<std::wstring, std::wstring>> shellOpens;
};

// Hooks the module's imports for as long as it lives; one at a time.
class TImportHooks {
 public:
  explicit TImportHooks(HMODULE module);
  ~TImportHooks();
  TImportHooks(const TImportHooks&) = delete;
  TImportHooks& operator=(const TImportHooks&) = delete;

  // A copy of the counts, taken under the lock.
  TLedger Ledger() const;
  // The functions hooked (those the module imports).
  const std::vector<std::string>& Hooked() const { return hooked_; }

 private:
  struct TSlot {
    void** address;
    void* original;
  };
  std::vector<TSlot> slots_;
  std::vector<std::string> hooked_;
};

}  // namespace wintest
