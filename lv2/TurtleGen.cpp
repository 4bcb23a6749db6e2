// plonkrift-lv2-turtle: writes the LV2 bundle's Turtle files (manifest.ttl,
// the plug-in's description and its presets) from the effect's parameter
// table, its programs and the preset files, so that they never drift from the
// code. Run by the build.
//
//   plonkrift-lv2-turtle --out DIR --binary FILE --version X.Y.Z [--ui FILE] [PRESET...]

#include <getopt.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "lv2/Ports.h"
#include "plugin/Parameters.h"
#include "tools/render/ParameterText.h"

namespace {

using namespace parameters;
using lv2plugin::kUri;

// The effect's programs: eight, each starting with every slot at its default.
constexpr int kNumPrograms = 8;

const char* const kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

constexpr const char* kProjectUri = "urn:plonkrift:plonkrift6";
constexpr const char* kPluginFile = "plonkrift6.ttl";
constexpr const char* kPresetFile = "presets.ttl";

int Fail(const std::string& message) {
  std::fprintf(stderr, "plonkrift-lv2-turtle: %s\n", message.c_str());
  return 1;
}

// A float as the shortest decimal that reads back to it, always with a
// decimal point (a Turtle decimal, not an integer).
std::string Number(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  std::string s(text, end);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

// "FD1 LFO->Cutoff" -> "fd1_lfo_cutoff": a C identifier, as LV2 wants.
std::string Symbol(int slot) {
  std::string symbol;
  bool gap = false;
  for (const char* c = name(slot); *c != '\0'; ++c) {
    const unsigned char ch = static_cast<unsigned char>(*c);
    if (std::isalnum(ch)) {
      if (gap && !symbol.empty()) symbol += '_';
      symbol += static_cast<char>(std::tolower(ch));
      gap = false;
    } else {
      gap = true;
    }
  }
  return symbol;
}

struct ScalePoint {
  float value;
  const char* label;
};

// What a host needs to draw a slot's control.
struct Presentation {
  bool toggled = false, enumeration = false, integer = false;
  const char* unit = nullptr;
  std::vector<ScalePoint> points;
};

Presentation PresentationOf(int slot) {
  Presentation p;
  switch (slot) {
    case kGateEnable:
    case kFd1Enable:
    case kFd2Enable:
    case kFd1DelaySync:
    case kFd2DelaySync:
      p.toggled = true;
      break;
    case kFd1FilterType:
    case kFd2FilterType:
      p.enumeration = p.integer = true;
      p.points = {{0.0f, "High-pass"}, {1.0f, "Low-pass"}};
      break;
    case kLfo1Period:
    case kLfo2Period:
      // The editor's four rate buttons.
      p.enumeration = true;
      p.points = {{0.1f, "1 bar"}, {0.2f, "2 bars"}, {0.4f, "4 bars"}, {0.8f, "8 bars"}};
      break;
    case kFd1DelayTime:
    case kFd2DelayTime:
      // The value is the delay in beats; the editor snaps to these in sync mode.
      p.unit = "units:beat";
      p.points = {{0.25f, "1/4 beat"}, {0.5f, "1/2 beat"}, {0.75f, "3/4 beat"}, {1.0f, "1 beat"}};
      break;
    case kFd1Pan:
    case kFd2Pan:
      p.points = {{0.0f, "Right"}, {0.5f, "Center"}, {1.0f, "Left"}};
      break;
    case kGateVolume:
    case kFd1Volume:
    case kFd2Volume:
    case kFd1Feedback:
    case kFd2Feedback:
      p.unit = "units:coef";
      break;
    default:
      p.toggled = slot >= kStep1 && slot < kGateEnable;
      break;
  }
  return p;
}

std::string ControlPort(int slot) {
  const Presentation p = PresentationOf(slot);
  std::ostringstream out;
  out << "\t[\n\t\ta lv2:InputPort , lv2:ControlPort ;\n"
      << "\t\tlv2:index " << lv2plugin::portOfSlot(slot) << " ;\n"
      << "\t\tlv2:symbol " << Quoted(Symbol(slot)) << " ;\n"
      << "\t\tlv2:name " << Quoted(name(slot)) << " ;\n"
      << "\t\tlv2:default " << Number(defaultValue(slot)) << " ;\n"
      << "\t\tlv2:minimum 0.0 ;\n\t\tlv2:maximum 1.0";
  std::vector<std::string> properties;
  if (p.toggled) properties.emplace_back("lv2:toggled");
  if (p.enumeration) properties.emplace_back("lv2:enumeration");
  if (p.integer) properties.emplace_back("lv2:integer");
  for (std::size_t i = 0; i < properties.size(); ++i)
    out << (i == 0 ? " ;\n\t\tlv2:portProperty " : " , ") << properties[i];
  if (p.unit != nullptr) out << " ;\n\t\tunits:unit " << p.unit;
  for (std::size_t i = 0; i < p.points.size(); ++i)
    out << (i == 0 ? " ;\n\t\tlv2:scalePoint " : " , ") << "[ rdfs:label " << Quoted(p.points[i].label)
        << " ; rdf:value " << Number(p.points[i].value) << " ]";
  out << "\n\t]";
  return out.str();
}

std::string AudioPort(std::uint32_t index, bool input, const char* symbol, const char* label) {
  std::ostringstream out;
  out << "\t[\n\t\ta " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " , lv2:AudioPort ;\n"
      << "\t\tlv2:index " << index << " ;\n\t\tlv2:symbol \"" << symbol << "\" ;\n\t\tlv2:name \"" << label
      << "\"\n\t]";
  return out.str();
}

struct Version {
  int major = 0, minor = 0, patch = 0;
};

std::string PluginDescription(const Version& version, const std::string& uiBinary) {
  std::ostringstream out;
  out << kPrefixes << "<" << kUri << ">\n"
      << "\ta lv2:Plugin , lv2:DelayPlugin ;\n"
      << "\tdoap:name \"plonkrift6v2\" ;\n"
      << "\tdoap:license <http://opensource.org/licenses/MIT> ;\n"
      << "\tlv2:project <" << kProjectUri << "> ;\n"
      << "\trdfs:comment \"A sixteen-step gate locked to the host's bar shapes the mono sum of the input; "
         "two "
         "delay units with resonant low- or high-pass filters echo it into the stereo field, their cutoff "
         "and "
         "pan moved by two bar-synced LFOs. Needs the host's time position: without it the output is "
         "silent.\" ;\n"
      // Hosts take an odd or zero minor version, or an odd micro version, for
      // a development build: both are made even from the project's version.
      << "\tlv2:minorVersion " << version.major * 2 << " ;\n"
      << "\tlv2:microVersion " << (version.minor * 100 + version.patch) * 2 << " ;\n"
      << "\tlv2:requiredFeature urid:map ;\n"
      << "\tlv2:optionalFeature lv2:hardRTCapable ;\n";
  if (!uiBinary.empty()) out << "\tui:ui <" << lv2plugin::kUiUri << "> ;\n";
  out << "\tlv2:port\n"
      << AudioPort(lv2plugin::kInLeft, true, "in_left", "In Left") << " ,\n"
      << AudioPort(lv2plugin::kInRight, true, "in_right", "In Right") << " ,\n"
      << AudioPort(lv2plugin::kOutLeft, false, "out_left", "Out Left") << " ,\n"
      << AudioPort(lv2plugin::kOutRight, false, "out_right", "Out Right") << " ,\n"
      << "\t[\n\t\ta lv2:InputPort , atom:AtomPort ;\n"
      << "\t\tatom:bufferType atom:Sequence ;\n"
      << "\t\tatom:supports time:Position ;\n"
      << "\t\tlv2:designation lv2:control ;\n"
      << "\t\tlv2:index " << lv2plugin::kControl << " ;\n"
      << "\t\tlv2:symbol \"control\" ;\n\t\tlv2:name \"Control\"\n\t]";
  for (int slot = kFirst; slot <= kLast; ++slot) out << " ,\n" << ControlPort(slot);
  out << " .\n";
  out << "\n<" << kProjectUri << ">\n"
      << "\ta doap:Project ;\n"
      << "\tdoap:name \"plonkrift6\" ;\n"
      << "\tdoap:maintainer [ a foaf:Person ; foaf:name \"plonkrift\" ] .\n";
  if (!uiBinary.empty()) {
    // The editor embedded in the host's X11 window, driven through the
    // ports alone: it is made inside the host's window, so it needs one.
    out << "\n<" << lv2plugin::kUiUri << ">\n"
        << "\ta ui:X11UI ;\n"
        << "\tui:binary <" << uiBinary << "> ;\n"
        << "\tlv2:requiredFeature ui:idleInterface , ui:parent ;\n"
        << "\tlv2:optionalFeature ui:resize , ui:touch ;\n"
        << "\tlv2:extensionData ui:idleInterface .\n";
  }
  return out.str();
}

struct Preset {
  std::string id, label, comment;
  float values[kLast + 1];
};

// "dub-echo.preset" -> "dub-echo".
std::string Stem(const std::string& path) {
  std::string file = path.substr(path.find_last_of('/') + 1);
  return file.substr(0, file.find('.'));
}

// The label is the first comment's words before its colon ("Dub echo: ...");
// the comment is that first paragraph of comment lines.
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

std::string PresetUri(const Preset& preset) {
  return std::string(kUri) + "#" + preset.id;
}

std::string PresetDescriptions(const std::vector<Preset>& presets) {
  std::ostringstream out;
  out << kPrefixes;
  for (const Preset& preset : presets) {
    out << "<" << PresetUri(preset) << ">\n"
        << "\ta pset:Preset ;\n"
        << "\tlv2:appliesTo <" << kUri << "> ;\n"
        << "\trdfs:label " << Quoted(preset.label) << " ;\n";
    if (!preset.comment.empty()) out << "\trdfs:comment " << Quoted(preset.comment) << " ;\n";
    out << "\tlv2:port";
    for (int slot = kFirst; slot <= kLast; ++slot)
      out << (slot == kFirst ? "\n" : " ,\n") << "\t\t[ lv2:symbol " << Quoted(Symbol(slot))
          << " ; pset:value " << Number(preset.values[slot]) << " ]";
    out << " .\n\n";
  }
  return out.str();
}

std::string Manifest(const std::string& binary, const std::vector<Preset>& presets,
                     const std::string& uiBinary) {
  std::ostringstream out;
  out << kPrefixes << "<" << kUri << ">\n"
      << "\ta lv2:Plugin ;\n"
      << "\tlv2:binary <" << binary << "> ;\n"
      << "\trdfs:seeAlso <" << kPluginFile << "> .\n\n";
  if (!uiBinary.empty())
    out << "<" << lv2plugin::kUiUri << ">\n\ta ui:X11UI ;\n\tui:binary <" << uiBinary << "> ;\n"
        << "\trdfs:seeAlso <" << kPluginFile << "> .\n\n";
  for (const Preset& preset : presets)
    out << "<" << PresetUri(preset) << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" << kUri << "> ;\n"
        << "\trdfs:seeAlso <" << kPresetFile << "> .\n\n";
  return out.str();
}

bool Write(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, binary, versionText, uiBinary;
  static const option kOptions[] = {{"out", required_argument, nullptr, 'o'},
                                    {"binary", required_argument, nullptr, 'b'},
                                    {"version", required_argument, nullptr, 'v'},
                                    {"ui", required_argument, nullptr, 'u'},
                                    {nullptr, 0, nullptr, 0}};
  for (int c; (c = getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
    switch (c) {
      case 'o':
        out = optarg;
        break;
      case 'b':
        binary = optarg;
        break;
      case 'v':
        versionText = optarg;
        break;
      case 'u':
        uiBinary = optarg;
        break;
      default:
        return 2;
    }
  }
  if (out.empty() || binary.empty() || versionText.empty())
    return Fail(
        "usage: plonkrift-lv2-turtle --out DIR --binary FILE --version X.Y.Z [--ui FILE] [PRESET...]");
  Version version;
  if (std::sscanf(versionText.c_str(), "%d.%d.%d", &version.major, &version.minor, &version.patch) != 3)
    return Fail("version '" + versionText + "' is not X.Y.Z");

  std::set<std::string> symbols;
  for (int slot = kFirst; slot <= kLast; ++slot)
    if (!symbols.insert(Symbol(slot)).second) return Fail("two slots make the port symbol " + Symbol(slot));

  std::vector<Preset> presets;
  for (int i = 0; i < kNumPrograms; ++i) {
    Preset program;
    char number[8];
    std::snprintf(number, sizeof number, "%02d", i + 1);
    program.id = std::string("program-") + number;
    program.label = std::string("Init Preset ") + number;
    for (int slot = kFirst; slot <= kLast; ++slot) program.values[slot] = defaultValue(slot);
    presets.push_back(program);
  }
  // Preset files as plonkrift-render reads them: on top of the defaults.
  std::vector<std::string> slotNames;
  for (int slot = 0; slot < kNumSlots; ++slot) slotNames.emplace_back(name(slot));
  const render::ParameterNames names(slotNames);
  for (int i = optind; i < argc; ++i) {
    Preset preset;
    preset.id = "preset-" + Stem(argv[i]);
    for (int slot = kFirst; slot <= kLast; ++slot) preset.values[slot] = defaultValue(slot);
    std::vector<std::pair<int, float>> values;
    std::string error;
    if (!render::ReadPreset(names, argv[i], values, error)) return Fail(error);
    for (const auto& [slot, value] : values) preset.values[slot] = value;
    DescribeFromComments(argv[i], preset);
    presets.push_back(preset);
  }

  if (!Write(out + "/manifest.ttl", Manifest(binary, presets, uiBinary)) ||
      !Write(out + "/" + kPluginFile, PluginDescription(version, uiBinary)) ||
      !Write(out + "/" + kPresetFile, PresetDescriptions(presets)))
    return Fail("cannot write the Turtle files into " + out);
  return 0;
}
