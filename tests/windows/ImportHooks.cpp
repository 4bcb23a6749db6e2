#include "tests/windows/ImportHooks.h"

#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <set>
#include <type_traits>
#include <utility>

#include "tests/windows/PeImage.h"

namespace wintest {

namespace {

std::mutex gMutex;
TLedger gLedger;
std::set<HWND> gWindows;
std::set<void*> gGdi;
std::map<HDC, int> gDcs;
std::set<std::pair<HWND, UINT_PTR>> gTimers;
std::map<void*, std::size_t> gBlocks;

// The module's own targets of each hooked import.
decltype(&CreateWindowExW) gCreateWindowExW;
decltype(&DestroyWindow) gDestroyWindow;
decltype(&SetTimer) gSetTimer;
decltype(&KillTimer) gKillTimer;
decltype(&GetDC) gGetDC;
decltype(&ReleaseDC) gReleaseDC;
decltype(&RegisterClassExW) gRegisterClassExW;
decltype(&UnregisterClassW) gUnregisterClassW;
decltype(&CreateCompatibleDC) gCreateCompatibleDC;
decltype(&DeleteDC) gDeleteDC;
decltype(&CreateDIBSection) gCreateDIBSection;
decltype(&CreateFontIndirectW) gCreateFontIndirectW;
decltype(&CreatePen) gCreatePen;
decltype(&CreateSolidBrush) gCreateSolidBrush;
decltype(&DeleteObject) gDeleteObject;
decltype(&ShellExecuteW) gShellExecuteW;  // kept only to be put back
void* (*gMalloc)(std::size_t);
void* (*gCalloc)(std::size_t, std::size_t);
void* (*gRealloc)(void*, std::size_t);
void (*gFree)(void*);

void Update() {
  gLedger.windows = static_cast<std::int64_t>(gWindows.size());
  gLedger.gdiObjects = static_cast<std::int64_t>(gGdi.size());
  std::int64_t dcs = 0;
  for (const auto& [dc, n] : gDcs) dcs += n;
  gLedger.deviceContexts = dcs;
  gLedger.timers = static_cast<std::int64_t>(gTimers.size());
  gLedger.heapBlocks = static_cast<std::int64_t>(gBlocks.size());
}

// Windows go with their parents, and timers with their windows.
void ForgetDeadWindows() {
  std::erase_if(gWindows, [](HWND w) { return !IsWindow(w); });
  std::erase_if(gTimers, [](const auto& t) { return t.first != nullptr && !IsWindow(t.first); });
}

void MadeGdi(void* object) {
  if (object == nullptr) return;
  std::lock_guard lock(gMutex);
  gGdi.insert(object);
  ++gLedger.gdiObjectsMade;
  Update();
}

HWND WINAPI HookCreateWindowExW(DWORD exStyle, LPCWSTR cls, LPCWSTR name, DWORD style, int x, int y, int w,
                                int h, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  const HWND made = gCreateWindowExW(exStyle, cls, name, style, x, y, w, h, parent, menu, instance, param);
  if (made != nullptr) {
    std::lock_guard lock(gMutex);
    gWindows.insert(made);
    ++gLedger.windowsMade;
    Update();
  }
  return made;
}

BOOL WINAPI HookDestroyWindow(HWND window) {
  const BOOL done = gDestroyWindow(window);
  std::lock_guard lock(gMutex);
  ForgetDeadWindows();
  Update();
  return done;
}

UINT_PTR WINAPI HookSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  const UINT_PTR set = gSetTimer(window, id, elapse, proc);
  if (set != 0) {
    std::lock_guard lock(gMutex);
    gTimers.insert({window, window != nullptr ? id : set});
    ++gLedger.timersSet;
    Update();
  }
  return set;
}

BOOL WINAPI HookKillTimer(HWND window, UINT_PTR id) {
  const BOOL done = gKillTimer(window, id);
  std::lock_guard lock(gMutex);
  gTimers.erase({window, id});
  Update();
  return done;
}

HDC WINAPI HookGetDC(HWND window) {
  const HDC dc = gGetDC(window);
  if (dc != nullptr) {
    std::lock_guard lock(gMutex);
    ++gDcs[dc];
    Update();
  }
  return dc;
}

int WINAPI HookReleaseDC(HWND window, HDC dc) {
  const int done = gReleaseDC(window, dc);
  std::lock_guard lock(gMutex);
  if (done != 0 && gDcs[dc] > 0 && --gDcs[dc] == 0) gDcs.erase(dc);
  Update();
  return done;
}

ATOM WINAPI HookRegisterClassExW(const WNDCLASSEXW* cls) {
  const ATOM atom = gRegisterClassExW(cls);
  std::lock_guard lock(gMutex);
  if (atom != 0) ++gLedger.windowClasses;
  return atom;
}

BOOL WINAPI HookUnregisterClassW(LPCWSTR name, HINSTANCE instance) {
  const BOOL done = gUnregisterClassW(name, instance);
  std::lock_guard lock(gMutex);
  if (done) --gLedger.windowClasses;
  return done;
}

HDC WINAPI HookCreateCompatibleDC(HDC dc) {
  const HDC made = gCreateCompatibleDC(dc);
  MadeGdi(made);
  return made;
}

BOOL WINAPI HookDeleteDC(HDC dc) {
  const BOOL done = gDeleteDC(dc);
  std::lock_guard lock(gMutex);
  if (done) gGdi.erase(dc);
  Update();
  return done;
}

HBITMAP WINAPI HookCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                    DWORD offset) {
  const HBITMAP made = gCreateDIBSection(dc, info, usage, bits, section, offset);
  MadeGdi(made);
  return made;
}

HFONT WINAPI HookCreateFontIndirectW(const LOGFONTW* font) {
  const HFONT made = gCreateFontIndirectW(font);
  MadeGdi(made);
  return made;
}

HPEN WINAPI HookCreatePen(int style, int width, COLORREF colour) {
  const HPEN made = gCreatePen(style, width, colour);
  MadeGdi(made);
  return made;
}

HBRUSH WINAPI HookCreateSolidBrush(COLORREF colour) {
  const HBRUSH made = gCreateSolidBrush(colour);
  MadeGdi(made);
  return made;
}

BOOL WINAPI HookDeleteObject(HGDIOBJ object) {
  const BOOL done = gDeleteObject(object);
  std::lock_guard lock(gMutex);
  if (done) gGdi.erase(object);
  Update();
  return done;
}

HINSTANCE WINAPI HookShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
  std::lock_guard lock(gMutex);
  gLedger.shellOpens.emplace_back(verb != nullptr ? verb : L"", file != nullptr ? file : L"");
  // Taken, as the shell answers (above 32); nothing is started.
  return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

void Took(void* block, std::size_t size) {
  if (block == nullptr) return;
  std::lock_guard lock(gMutex);
  auto [at, fresh] = gBlocks.emplace(block, size);
  if (!fresh) {
    gLedger.heapBytes -= static_cast<std::int64_t>(at->second);
    at->second = size;
  }
  gLedger.heapBytes += static_cast<std::int64_t>(size);
  Update();
}

void Gave(void* block) {
  if (block == nullptr) return;
  std::lock_guard lock(gMutex);
  // Blocks from before the hooks (or from the runtime's own calls) are not
  // counted either way.
  const auto at = gBlocks.find(block);
  if (at == gBlocks.end()) return;
  gLedger.heapBytes -= static_cast<std::int64_t>(at->second);
  gBlocks.erase(at);
  Update();
}

void* HookMalloc(std::size_t size) {
  void* block = gMalloc(size);
  Took(block, size);
  return block;
}

void* HookCalloc(std::size_t count, std::size_t size) {
  void* block = gCalloc(count, size);
  Took(block, count * size);
  return block;
}

void* HookRealloc(void* old, std::size_t size) {
  void* block = gRealloc(old, size);
  if (block != nullptr || size == 0) Gave(old);
  Took(block, size);
  return block;
}

void HookFree(void* block) {
  Gave(block);
  gFree(block);
}

bool SameDll(std::string a, std::string b) {
  const auto lower = [](std::string& s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  };
  lower(a);
  lower(b);
  return a == b;
}

}  // namespace

TImportHooks::TImportHooks(HMODULE module) {
  {
    std::lock_guard lock(gMutex);
    gLedger = TLedger{};
    gWindows.clear();
    gGdi.clear();
    gDcs.clear();
    gTimers.clear();
    gBlocks.clear();
  }
  auto* base = reinterpret_cast<std::uint8_t*>(module);
  const auto slots = pe::ImportSlots(base);
  const auto hook = [&](const char* dll, const char* function, auto& original, auto replacement) {
    for (const auto& [key, at] : slots) {
      if (!SameDll(key.first, dll) || key.second != function) continue;
      void** slot = reinterpret_cast<void**>(base + at);
      original = reinterpret_cast<std::remove_reference_t<decltype(original)>>(*slot);
      DWORD protection = 0;
      VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
      *slot = reinterpret_cast<void*>(replacement);
      VirtualProtect(slot, sizeof(void*), protection, &protection);
      slots_.push_back({slot, reinterpret_cast<void*>(original)});
      hooked_.push_back(std::string(dll) + "!" + function);
    }
  };
  hook("USER32.dll", "CreateWindowExW", gCreateWindowExW, &HookCreateWindowExW);
  hook("USER32.dll", "DestroyWindow", gDestroyWindow, &HookDestroyWindow);
  hook("USER32.dll", "SetTimer", gSetTimer, &HookSetTimer);
  hook("USER32.dll", "KillTimer", gKillTimer, &HookKillTimer);
  hook("USER32.dll", "GetDC", gGetDC, &HookGetDC);
  hook("USER32.dll", "ReleaseDC", gReleaseDC, &HookReleaseDC);
  hook("USER32.dll", "RegisterClassExW", gRegisterClassExW, &HookRegisterClassExW);
  hook("USER32.dll", "UnregisterClassW", gUnregisterClassW, &HookUnregisterClassW);
  hook("GDI32.dll", "CreateCompatibleDC", gCreateCompatibleDC, &HookCreateCompatibleDC);
  hook("GDI32.dll", "DeleteDC", gDeleteDC, &HookDeleteDC);
  hook("GDI32.dll", "CreateDIBSection", gCreateDIBSection, &HookCreateDIBSection);
  hook("GDI32.dll", "CreateFontIndirectW", gCreateFontIndirectW, &HookCreateFontIndirectW);
  hook("GDI32.dll", "CreatePen", gCreatePen, &HookCreatePen);
  hook("GDI32.dll", "CreateSolidBrush", gCreateSolidBrush, &HookCreateSolidBrush);
  hook("GDI32.dll", "DeleteObject", gDeleteObject, &HookDeleteObject);
  hook("SHELL32.dll", "ShellExecuteW", gShellExecuteW, &HookShellExecuteW);
  hook("msvcrt.dll", "malloc", gMalloc, &HookMalloc);
  hook("msvcrt.dll", "calloc", gCalloc, &HookCalloc);
  hook("msvcrt.dll", "realloc", gRealloc, &HookRealloc);
  hook("msvcrt.dll", "free", gFree, &HookFree);
}

TImportHooks::~TImportHooks() {
  for (const TSlot& s : slots_) {
    DWORD protection = 0;
    VirtualProtect(s.address, sizeof(void*), PAGE_READWRITE, &protection);
    *s.address = s.original;
    VirtualProtect(s.address, sizeof(void*), protection, &protection);
  }
}

TLedger TImportHooks::Ledger() const {
  std::lock_guard lock(gMutex);
  return gLedger;
}

}  // namespace wintest
