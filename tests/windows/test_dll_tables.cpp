// The DLLs as hosts and Windows see them: the VST 2 DLL exports the entry
// under its two names, the VST3 module its factory and the module calls,
// and nothing else; both import only from DLLs every Windows has (the C++
// runtime, libgcc and winpthread are inside them).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <set>
#include <string>
#include <vector>

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

struct TModule {
  const char* what;
  std::string path;
  std::set<std::string> exports;
};

std::vector<TModule> Modules() {
  return {{"VST 2", hostkit::defaultPluginPath(), {"VSTPluginMain", "main"}},
          {"VST3", PLONKRIFT_VST3_MODULE, {"GetPluginFactory", "InitDll", "ExitDll"}}};
}

void CheckTables(const TModule& module) {
  const pe::TImage dll = pe::ReadFile(module.path);
  ASSERT_TRUE(dll.Valid) << dll.Error;
  EXPECT_TRUE(dll.Dll);
  EXPECT_EQ(dll.Machine, sizeof(void*) == 8 ? 0x8664 : 0x14C);
  EXPECT_EQ(dll.Exports, module.exports);

  const std::set<std::string> everyWindowsHas = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll",
                                                 "msvcrt.dll"};
  std::cout << module.what << " exports:";
  for (const std::string& name : dll.Exports) std::cout << " " << name;
  std::cout << "\n";
  for (const auto& [name, functions] : dll.Imports.ByDll) {
    EXPECT_TRUE(everyWindowsHas.count(Lower(name)) == 1) << "imports from " << name;
    std::cout << name << " (" << functions.size() << "):";
    for (const std::string& f : functions) std::cout << " " << f;
    std::cout << "\n";
  }
  // The missing-time notice is a label, never a modal box.
  for (const auto& [name, functions] : dll.Imports.ByDll)
    for (const char* modal :
         {"MessageBoxA", "MessageBoxW", "MessageBoxExW", "MessageBoxIndirectW", "DialogBoxParamW"})
      EXPECT_EQ(functions.count(modal), 0u) << name << "!" << modal;
}

}  // namespace

TEST(DllTables, ExportsTheEntryOnlyAndImportsFromSystemDllsOnly) {
  for (const TModule& module : Modules()) {
    SCOPED_TRACE(module.what);
    CheckTables(module);
  }
}

TEST(DllTables, TheLoaderSeesWhatTheFileSays) {
  for (const TModule& module : Modules()) {
    SCOPED_TRACE(module.what);
    const HMODULE loaded = LoadLibraryA(module.path.c_str());
    ASSERT_NE(loaded, nullptr) << GetLastError();
    const pe::TImage mapped = pe::ReadMapped(reinterpret_cast<const std::uint8_t*>(loaded));
    const pe::TImage file = pe::ReadFile(module.path);
    ASSERT_TRUE(mapped.Valid) << mapped.Error;
    EXPECT_EQ(mapped.Exports, file.Exports);
    EXPECT_EQ(mapped.Imports.ByDll, file.Imports.ByDll);
    for (const std::string& name : module.exports)
      EXPECT_NE(GetProcAddress(loaded, name.c_str()), nullptr) << name;
    EXPECT_EQ(GetProcAddress(loaded, "StoredEditorForm"), nullptr);
    FreeLibrary(loaded);
  }
}
