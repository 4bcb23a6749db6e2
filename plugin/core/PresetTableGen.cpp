// plonkrift-preset-table: compiles preset files into the C++ table of
// plugin/core/FactoryPresets.h. Each file is read as plonkrift-render reads
// one (plugin/PresetText.h), over the defaults; its name comes from its first
// comment. Run by the build; a preset with a mistake stops it.
//
//   plonkrift-preset-table -o OUTPUT.cpp PRESET...

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "plugin/Parameters.h"
#include "plugin/PresetText.h"

namespace {

using namespace parameters;

int Fail(const std::string& message) {
  std::fprintf(stderr, "plonkrift-preset-table: %s\n", message.c_str());
  return 1;
}

struct Preset {
  std::string id, label, comment;
  float values[kLast + 1] = {};
};

// "presets/dub-echo.preset" -> "dub-echo".
std::string Stem(const std::string& path) {
  std::string file = path.substr(path.find_last_of('/') + 1);
  return file.substr(0, file.find('.'));
}

// The label is the first comment's words before its colon ("Dub echo: ...");
// the comment is the rest of that first paragraph of comment lines.
void DescribeFromComments(const std::string& path, Preset& preset) {
  std::ifstream file(path);
  std::string line, text;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] != '#') {
      if (!text.empty()) break;
      continue;
    }
    const auto start = line.find_first_not_of("# ");
    if (start == std::string::npos) break;
    if (!text.empty()) text += ' ';
    text += line.substr(start);
  }
  const auto colon = text.find(':');
  if (colon != std::string::npos && colon > 0 && colon < 40) {
    preset.label = text.substr(0, colon);
    preset.comment = text.substr(text.find_first_not_of(' ', colon + 1));
  } else {
    preset.label = Stem(path);
    preset.comment = text;
  }
}

// A C++ string literal.
std::string Literal(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A float literal that reads back to exactly the value.
std::string FloatLiteral(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  std::string s(text, end);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s + "f";
}

std::string Table(const std::vector<Preset>& presets) {
  std::ostringstream out;
  out << "// Written by plonkrift-preset-table from presets/*.preset: do not edit.\n\n"
      << "#include \"plugin/core/FactoryPresets.h\"\n\n";
  if (presets.empty()) {
    out << "std::span<const FactoryPreset> FactoryPresets() {\n  return {};\n}\n";
    return out.str();
  }
  out << "namespace {\n\nconst FactoryPreset kPresets[] = {\n";
  for (const Preset& preset : presets) {
    out << "    {" << Literal(preset.id) << ",\n     " << Literal(preset.label) << ",\n     "
        << Literal(preset.comment) << ",\n     {0.0f";
    for (int slot = kFirst; slot <= kLast; ++slot) out << ", " << FloatLiteral(preset.values[slot]);
    out << "}},\n";
  }
  out << "};\n\n}  // namespace\n\n"
      << "std::span<const FactoryPreset> FactoryPresets() {\n  return kPresets;\n}\n";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::string(argv[1]) != "-o")
    return Fail("usage: plonkrift-preset-table -o OUTPUT.cpp PRESET...");
  const std::string output = argv[2];
  const ParameterNames names;
  std::vector<Preset> presets;
  for (int i = 3; i < argc; ++i) {
    Preset preset;
    preset.id = Stem(argv[i]);
    for (int slot = kFirst; slot <= kLast; ++slot) preset.values[slot] = defaultValue(slot);
    std::vector<std::pair<int, float>> values;
    std::string error;
    if (!ReadPreset(names, argv[i], values, error)) return Fail(error);
    for (const auto& [slot, value] : values) preset.values[slot] = value;
    DescribeFromComments(argv[i], preset);
    presets.push_back(preset);
  }
  std::ofstream file(output, std::ios::binary | std::ios::trunc);
  file << Table(presets);
  file.close();
  if (!file) return Fail("cannot write " + output);
  return 0;
}
