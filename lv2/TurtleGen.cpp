// plonkrift-lv2-turtle: writes the LV2 bundle's Turtle files (manifest.ttl,
// the plug-in's description and its presets) from the effect's parameter
// table, its programs and its shipped presets, so that they never drift from
// the code. Run by the build.
//
//   plonkrift-lv2-turtle --out DIR --binary FILE --version X.Y.Z [--ui FILE]
//
// Exit status 0 on success, 1 when a file cannot be written, 2 on a mistake
// on the command line (said in one line).

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "lv2/Ports.h"
#include "plugin/Parameters.h"
#include "plugin/core/FactoryPresets.h"
#include "plugin/core/ProgramBank.h"
#include "tools/cli/CommandLine.h"

namespace {

using namespace parameters;
using lv2plugin::kUri;

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

constexpr const char* kTool = "plonkrift-lv2-turtle";

// --version names the version the Turtle declares, so the tool has no
// --version of its own.
constexpr const char* kUsage =
    "usage: plonkrift-lv2-turtle --out DIR --binary FILE --version X.Y.Z [--ui FILE]\n"
    "Writes the LV2 bundle's manifest.ttl, plonkrift6.ttl and presets.ttl into DIR.\n"
    "  --out DIR             the bundle's folder (required)\n"
    "  --binary FILE         the plug-in's binary, as the manifest names it (required)\n"
    "  --version X.Y.Z       the version the plug-in's description declares (required)\n"
    "  --ui FILE             also declare the X11 UI in this binary\n"
    "  -h, --help            this text\n"
    "Exit status: 0 done, 1 a file that cannot be written, 2 a mistake on the command line.\n";

int Fail(const std::string& message) {
  return cli::Say(kTool, message, 1);
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

std::string Quoted(std::string_view text) {
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

// The unit hosts label a value with.
const char* UnitOf(Measure measure) {
  switch (measure) {
    case Measure::Beats:
      return "units:beat";
    case Measure::Coefficient:
      return "units:coef";
    case Measure::None:
      break;
  }
  return nullptr;
}

// A list whose values are all whole numbers.
bool Integral(const Parameter& p) {
  if (p.kind != Kind::List) return false;
  for (const Point& point : p.points)
    if (point.value != std::trunc(point.value)) return false;
  return true;
}

std::string ControlPort(int slot) {
  const Parameter& p = parameter(slot);
  std::ostringstream out;
  out << "\t[\n\t\ta lv2:InputPort , lv2:ControlPort ;\n"
      << "\t\tlv2:index " << lv2plugin::portOfSlot(slot) << " ;\n"
      << "\t\tlv2:symbol " << Quoted(p.symbol) << " ;\n"
      << "\t\tlv2:name " << Quoted(p.name) << " ;\n"
      << "\t\tlv2:default " << Number(p.defaultValue) << " ;\n"
      << "\t\tlv2:minimum 0.0 ;\n\t\tlv2:maximum 1.0";
  std::vector<std::string> properties;
  if (p.kind == Kind::Toggle) properties.emplace_back("lv2:toggled");
  if (p.kind == Kind::List) properties.emplace_back("lv2:enumeration");
  if (Integral(p)) properties.emplace_back("lv2:integer");
  for (std::size_t i = 0; i < properties.size(); ++i)
    out << (i == 0 ? " ;\n\t\tlv2:portProperty " : " , ") << properties[i];
  if (const char* unit = UnitOf(p.measure)) out << " ;\n\t\tunits:unit " << unit;
  for (std::size_t i = 0; i < p.points.size(); ++i)
    out << (i == 0 ? " ;\n\t\tlv2:scalePoint " : " , ") << "[ rdfs:label " << Quoted(p.points[i].label)
        << " ; rdf:value " << Number(p.points[i].value) << " ]";
  out << "\n\t]";
  return out.str();
}

// The effect's report that the host sends no time information.
std::string TimeMissingPort() {
  std::ostringstream out;
  out << "\t[\n\t\ta lv2:OutputPort , lv2:ControlPort ;\n"
      << "\t\tlv2:index " << lv2plugin::kTimeMissing << " ;\n"
      << "\t\tlv2:symbol " << Quoted(lv2plugin::kTimeMissingSymbol) << " ;\n"
      << "\t\tlv2:name \"Time Missing\" ;\n"
      << "\t\trdfs:comment \"1 while the host sends no time position: the output is silent then\" ;\n"
      << "\t\tlv2:default 0.0 ;\n\t\tlv2:minimum 0.0 ;\n\t\tlv2:maximum 1.0 ;\n"
      << "\t\tlv2:portProperty lv2:toggled\n\t]";
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
  out << " ,\n" << TimeMissingPort() << " .\n";
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
        << "\tlv2:extensionData ui:idleInterface ;\n"
        // The editor's notice of missing time information follows this port.
        << "\tui:portNotification [\n\t\tui:plugin <" << kUri << "> ;\n\t\tlv2:symbol "
        << Quoted(lv2plugin::kTimeMissingSymbol) << " ;\n\t\tui:protocol ui:floatProtocol\n\t] .\n";
  }
  return out.str();
}

struct Preset {
  std::string id, label, comment;
  float values[kLast + 1];
};

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
      out << (slot == kFirst ? "\n" : " ,\n") << "\t\t[ lv2:symbol " << Quoted(parameter(slot).symbol)
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

struct Options {
  std::string out, binary, uiBinary;
  Version version;
  bool help = false;
};

// Throws cli::Mistake for anything the tool cannot do as asked.
Options Parse(int argc, char** argv) {
  enum { kOut, kBinary, kVersion, kUi, kHelp };
  cli::CommandLine line(argc, argv,
                        {{kOut, "out", 0, true},
                         {kBinary, "binary", 0, true},
                         {kVersion, "version", 0, true},
                         {kUi, "ui", 0, true},
                         {kHelp, "help", 'h'}});
  Options options;
  std::string versionText;
  for (int option; (option = line.next()) != cli::CommandLine::kEnd;) {
    switch (option) {
      case kOut:
        options.out = line.value();
        break;
      case kBinary:
        options.binary = line.value();
        break;
      case kVersion:
        versionText = line.value();
        break;
      case kUi:
        // Empty: no UI, as without the option.
        options.uiBinary = line.value();
        break;
      case kHelp:
        options.help = true;
        break;
    }
  }
  if (options.help) return options;
  const std::vector<std::string> operands = line.operands();
  if (!operands.empty()) throw cli::Mistake("unexpected argument: " + operands[0]);
  if (options.out.empty()) throw cli::Mistake("no output folder: give --out DIR");
  if (options.binary.empty()) throw cli::Mistake("no binary: give --binary FILE");
  if (versionText.empty()) throw cli::Mistake("no version: give --version X.Y.Z");
  Version& v = options.version;
  if (std::sscanf(versionText.c_str(), "%d.%d.%d", &v.major, &v.minor, &v.patch) != 3)
    throw cli::Mistake("--version: not X.Y.Z: " + versionText);
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = Parse(argc, argv);
  } catch (const cli::Mistake& mistake) {
    return cli::Say(kTool, mistake.what(), cli::kUsageStatus);
  }
  if (options.help) return *cli::AnswerHelpOrVersion(kTool, kUsage, true, false);

  // The programs as the effect starts with them, then the shipped presets.
  std::vector<Preset> presets;
  const ProgramBank programs;
  for (int i = 0; i < ProgramBank::kNumPrograms; ++i) {
    Preset program;
    char number[8];
    std::snprintf(number, sizeof number, "%02d", i + 1);
    program.id = std::string("program-") + number;
    program.label = programs[i].name;
    for (int slot = kFirst; slot <= kLast; ++slot) program.values[slot] = programs[i].values[slot].load();
    presets.push_back(program);
  }
  for (const FactoryPreset& shipped : FactoryPresets()) {
    Preset preset;
    preset.id = "preset-" + std::string(shipped.id);
    preset.label = shipped.label;
    preset.comment = shipped.comment;
    for (int slot = kFirst; slot <= kLast; ++slot) preset.values[slot] = shipped.values[slot];
    presets.push_back(preset);
  }

  const std::string& out = options.out;
  if (!Write(out + "/manifest.ttl", Manifest(options.binary, presets, options.uiBinary)) ||
      !Write(out + "/" + kPluginFile, PluginDescription(options.version, options.uiBinary)) ||
      !Write(out + "/" + kPresetFile, PresetDescriptions(presets)))
    return Fail("cannot write the Turtle files into " + out);
  return 0;
}
