#pragma once

// The native build's results the Wine tests are held against
// (linux_references.sh makes them): renders as plonkrift-render writes them.

#include <string>
#include <vector>

namespace wintest {

// A 32-bit float stereo WAV file as plonkrift-render writes it.
struct TWave {
  double rate = 0;
  std::vector<float> samples;  // interleaved left, right
};

// False with the reason when the file is missing or not such a file.
bool ReadWave(const std::string& path, TWave& wave, std::string& why);

// A reference file by name (as linux_references.sh names it).
std::string LinuxReference(const std::string& name);

// Where two interleaved renders differ: "" when they are the same bit for
// bit (and of one length), else the count and the first difference.
std::string Difference(const std::vector<float>& got, const std::vector<float>& expected);

}  // namespace wintest
