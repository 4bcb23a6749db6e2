// The DLL as a host and Windows see it: it exports the entry under its two
// names and nothing else, and it imports only from DLLs every Windows has
// (the C++ runtime, libgcc and winpthread are inside it).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <set>
#include <string>

#include "tests/windows/PeImage.h"
#include "tools/hostkit/PluginHost.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

TEST(DllTables, ExportsTheEntryOnlyAndImportsFromSystemDllsOnly) {
  const pe::TImage dll = pe::ReadFile(hostkit::defaultPluginPath());
  ASSERT_TRUE(dll.Valid) << dll.Error;
  EXPECT_TRUE(dll.Dll);
  EXPECT_EQ(dll.Machine, sizeof(void*) == 8 ? 0x8664 : 0x14C);
  EXPECT_EQ(dll.Exports, (std::set<std::string>{"VSTPluginMain", "main"}));

  const std::set<std::string> everyWindowsHas = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll",
                                                 "msvcrt.dll"};
  std::cout << "exports:";
  for (const std::string& name : dll.Exports) std::cout << " " << name;
  std::cout << "\n";
  for (const auto& [name, functions] : dll.Imports.ByDll) {
    EXPECT_TRUE(everyWindowsHas.count(Lower(name)) == 1) << "imports from " << name;
    std::cout << name << " (" << functions.size() << "):";
    for (const std::string& f : functions) std::cout << " " << f;
    std::cout << "\n";
  }
  // The missing-time notice is a label, never a modal box.
  const auto& user = dll.Imports.ByDll;
  for (const auto& [name, functions] : user)
    for (const char* modal :
         {"MessageBoxA", "MessageBoxW", "MessageBoxExW", "MessageBoxIndirectW", "DialogBoxParamW"})
      EXPECT_EQ(functions.count(modal), 0u) << name << "!" << modal;
}

TEST(DllTables, TheLoaderSeesWhatTheFileSays) {
  const std::string path = hostkit::defaultPluginPath();
  const HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  const pe::TImage mapped = pe::ReadMapped(reinterpret_cast<const std::uint8_t*>(module));
  const pe::TImage file = pe::ReadFile(path);
  ASSERT_TRUE(mapped.Valid) << mapped.Error;
  EXPECT_EQ(mapped.Exports, file.Exports);
  EXPECT_EQ(mapped.Imports.ByDll, file.Imports.ByDll);
  EXPECT_NE(GetProcAddress(module, "VSTPluginMain"), nullptr);
  EXPECT_NE(GetProcAddress(module, "main"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "StoredEditorForm"), nullptr);
  FreeLibrary(module);
}
