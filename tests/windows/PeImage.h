#pragma once

// The import and export tables of a Windows module, read from its bytes: a
// DLL file on disk, or a module as the loader mapped it (where its import
// address table can also be rewritten, see ImportHooks.h). Plain C++, so it
// reads the same on any platform.

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pe {

struct TImports {
  // By DLL name as the module spells it, the functions it takes from there.
  std::map<std::string, std::set<std::string>> ByDll;
};

struct TImage {
  bool Valid = false;
  std::string Error;
  std::uint16_t Machine = 0;  // 0x8664 for x86-64, 0x14C for i386
  bool Dll = false;
  std::set<std::string> Exports;
  TImports Imports;
};

// A module's bytes: at is a relative virtual address, and the answer is null
// when [at, at + size) is not in the module.
using TReader = std::function<const std::uint8_t*(std::uint32_t at, std::uint32_t size)>;

// Reads the headers and both tables through read.
TImage Read(const TReader& read);
// A PE file as it lies on disk (sections at their file offsets).
TImage ReadFile(const std::string& path);
// A module mapped by the loader, at base.
TImage ReadMapped(const std::uint8_t* base);

// Each imported function's slot in the import address table of a mapped
// module: (DLL name, function name) -> the slot's relative virtual address.
std::map<std::pair<std::string, std::string>, std::uint32_t> ImportSlots(const std::uint8_t* base);

}  // namespace pe
