#include "tests/windows/LinuxReferences.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace wintest {

bool ReadWave(const std::string& path, TWave& wave, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                      static_cast<std::uint32_t>(b[at + 3]) << 24);
  };
  const auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); };
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    return why = path + " is no WAV file", false;
  bool format = false;
  for (std::size_t at = 12; at + 8 <= b.size();) {
    const std::uint32_t size = u32(at + 4);
    if (at + 8 + size > b.size()) return why = path + " is truncated", false;
    if (std::memcmp(b.data() + at, "fmt ", 4) == 0) {
      const std::uint16_t tag = u16(at + 8), channels = u16(at + 10), bits = u16(at + 22);
      // IEEE float, plain or in the extensible header.
      const bool isFloat = tag == 3 || (tag == 0xFFFE && size >= 40 && u16(at + 32) == 3);
      if (!isFloat || channels != 2 || bits != 32) return why = path + " is not 32-bit float stereo", false;
      wave.rate = u32(at + 12);
      format = true;
    } else if (std::memcmp(b.data() + at, "data", 4) == 0 && format) {
      wave.samples.resize(size / 4);
      std::memcpy(wave.samples.data(), b.data() + at + 8, wave.samples.size() * 4);
      return true;
    }
    at += 8 + size + (size & 1);
  }
  return why = path + " has no audio", false;
}

std::string LinuxReference(const std::string& name) {
  return std::string(PLONKRIFT_LINUX_REFERENCES) + "/" + name;
}

std::string Difference(const std::vector<float>& got, const std::vector<float>& expected) {
  if (got.size() != expected.size())
    return std::to_string(got.size()) + " samples instead of " + std::to_string(expected.size());
  std::size_t differing = 0, first = 0;
  for (std::size_t i = 0; i < got.size(); ++i)
    if (std::memcmp(&got[i], &expected[i], sizeof(float)) != 0 && differing++ == 0) first = i;
  if (differing == 0) return "";
  return std::to_string(differing) + " samples differ, the first at frame " + std::to_string(first / 2) +
         ": " + std::to_string(got[first]) + " instead of " + std::to_string(expected[first]);
}

}  // namespace wintest
