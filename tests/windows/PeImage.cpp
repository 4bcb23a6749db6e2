#include "tests/windows/PeImage.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace pe {

namespace {

template <typename T>
bool Get(const TReader& read, std::uint32_t at, T& out) {
  const std::uint8_t* p = read(at, sizeof(T));
  if (p == nullptr) return false;
  std::memcpy(&out, p, sizeof(T));
  return true;
}

std::string Text(const TReader& read, std::uint32_t at) {
  std::string s;
  for (std::uint32_t i = 0; i < 512; ++i) {
    const std::uint8_t* c = read(at + i, 1);
    if (c == nullptr || *c == 0) break;
    s += static_cast<char>(*c);
  }
  return s;
}

struct THeaders {
  std::uint16_t machine = 0, characteristics = 0;
  bool plus = false;  // PE32+ (64-bit)
  std::uint32_t exportDir = 0, exportSize = 0, importDir = 0, importSize = 0;
};

bool Headers(const TReader& read, THeaders& h, std::string& error) {
  std::uint16_t mz = 0;
  std::uint32_t peAt = 0, signature = 0;
  if (!Get(read, 0, mz) || mz != 0x5A4D || !Get(read, 0x3C, peAt) || !Get(read, peAt, signature) ||
      signature != 0x00004550) {
    error = "not a PE image";
    return false;
  }
  const std::uint32_t file = peAt + 4, optional = file + 20;
  std::uint16_t magic = 0;
  if (!Get(read, file, h.machine) || !Get(read, file + 18, h.characteristics) ||
      !Get(read, optional, magic)) {
    error = "truncated headers";
    return false;
  }
  h.plus = magic == 0x20B;
  const std::uint32_t directories = optional + (h.plus ? 112 : 96);
  if (!Get(read, directories, h.exportDir) || !Get(read, directories + 4, h.exportSize) ||
      !Get(read, directories + 8, h.importDir) || !Get(read, directories + 12, h.importSize)) {
    error = "truncated data directories";
    return false;
  }
  return true;
}

// Calls each(dll, function, slot) for every import by name; ordinals are
// named "#n".
template <typename Each>
bool WalkImports(const TReader& read, const THeaders& h, Each each) {
  if (h.importDir == 0) return true;
  for (std::uint32_t d = h.importDir;; d += 20) {
    std::uint32_t lookup = 0, name = 0, slots = 0;
    if (!Get(read, d, lookup) || !Get(read, d + 12, name) || !Get(read, d + 16, slots)) return false;
    if (lookup == 0 && name == 0 && slots == 0) return true;
    const std::string dll = Text(read, name);
    const std::uint32_t entry = h.plus ? 8 : 4;
    for (std::uint32_t i = 0;; ++i) {
      std::uint64_t thunk = 0;
      if (h.plus) {
        if (!Get(read, (lookup ? lookup : slots) + i * entry, thunk)) return false;
      } else {
        std::uint32_t t32 = 0;
        if (!Get(read, (lookup ? lookup : slots) + i * entry, t32)) return false;
        thunk = t32;
      }
      if (thunk == 0) break;
      const bool byOrdinal = h.plus ? (thunk >> 63) != 0 : (thunk >> 31) != 0;
      const std::string function = byOrdinal ? "#" + std::to_string(thunk & 0xFFFF)
                                             : Text(read, static_cast<std::uint32_t>(thunk) + 2);
      each(dll, function, slots + i * entry);
    }
  }
}

}  // namespace

TImage Read(const TReader& read) {
  TImage image;
  THeaders h;
  if (!Headers(read, h, image.Error)) return image;
  image.Machine = h.machine;
  image.Dll = (h.characteristics & 0x2000) != 0;
  if (h.exportDir != 0) {
    std::uint32_t count = 0, names = 0;
    if (!Get(read, h.exportDir + 24, count) || !Get(read, h.exportDir + 32, names)) {
      image.Error = "truncated export directory";
      return image;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint32_t at = 0;
      if (!Get(read, names + 4 * i, at)) {
        image.Error = "truncated export names";
        return image;
      }
      image.Exports.insert(Text(read, at));
    }
  }
  if (!WalkImports(read, h, [&](const std::string& dll, const std::string& function, std::uint32_t) {
        image.Imports.ByDll[dll].insert(function);
      })) {
    image.Error = "truncated import directory";
    return image;
  }
  image.Valid = true;
  return image;
}

TImage ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  // Section table, to turn relative virtual addresses into file offsets.
  struct TSection {
    std::uint32_t address, size, offset, rawSize;
  };
  std::vector<TSection> sections;
  const auto raw = [&](std::uint32_t at, std::uint32_t size) -> const std::uint8_t* {
    return std::uint64_t{at} + size <= bytes.size() ? bytes.data() + at : nullptr;
  };
  std::uint32_t peAt = 0;
  std::uint16_t count = 0, optionalSize = 0;
  if (bytes.size() > 0x40 && Get(raw, 0x3C, peAt) && Get(raw, peAt + 6, count) &&
      Get(raw, peAt + 20, optionalSize)) {
    const std::uint32_t table = peAt + 24 + optionalSize;
    for (std::uint16_t i = 0; i < count; ++i) {
      TSection s{};
      const std::uint32_t at = table + 40u * i;
      if (!Get(raw, at + 8, s.size) || !Get(raw, at + 12, s.address) || !Get(raw, at + 16, s.rawSize) ||
          !Get(raw, at + 20, s.offset))
        break;
      sections.push_back(s);
    }
  }
  return Read([&](std::uint32_t at, std::uint32_t size) -> const std::uint8_t* {
    // Headers lie at their own offsets.
    if (sections.empty() || at < sections.front().address) return raw(at, size);
    for (const TSection& s : sections)
      if (at >= s.address &&
          std::uint64_t{at} + size <= std::uint64_t{s.address} + std::max(s.size, s.rawSize))
        return std::uint64_t{at - s.address} + size <= s.rawSize ? raw(s.offset + (at - s.address), size)
                                                                 : nullptr;
    return nullptr;
  });
}

namespace {
TReader Mapped(const std::uint8_t* base) {
  return [base](std::uint32_t at, std::uint32_t) { return base + at; };
}
}  // namespace

TImage ReadMapped(const std::uint8_t* base) {
  return Read(Mapped(base));
}

std::map<std::pair<std::string, std::string>, std::uint32_t> ImportSlots(const std::uint8_t* base) {
  std::map<std::pair<std::string, std::string>, std::uint32_t> slots;
  const TReader read = Mapped(base);
  THeaders h;
  std::string error;
  if (!Headers(read, h, error)) return slots;
  WalkImports(read, h, [&](const std::string& dll, const std::string& function, std::uint32_t slot) {
    slots[{dll, function}] = slot;
  });
  return slots;
}

}  // namespace pe
