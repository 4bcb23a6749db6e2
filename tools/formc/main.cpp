// plonkrift-formc: text form <-> binary form stream.
//
//   plonkrift-formc [-I DIR]... [--depfile FILE] INPUT.form -o OUTPUT.bin
//       Compiles a text form. @file("name") is looked up next to INPUT, then
//       in each -I directory in order. --depfile writes a make-style rule
//       naming every file read, for the build to track.
//   plonkrift-formc --to-text [--extract DIR] INPUT.bin -o OUTPUT.form
//       Prints a binary form as text; with --extract every binary value goes
//       to its own file in DIR and is printed as @file("...").
//
// Exit status 0 on success, 1 on a bad form (the message names the place),
// 2 on a mistake on the command line (said in one line).

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/core/Exception.h"
#include "framework/core/TextForm.h"
#include "tools/cli/CommandLine.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Make-style escaping of a path in a depfile.
std::string DepPath(const fs::path& p) {
  std::string out;
  for (char c : p.string()) {
    if (c == ' ' || c == '#') out += '\\';
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

constexpr const char* kTool = "plonkrift-formc";

constexpr const char* kUsage =
    "usage: plonkrift-formc [-I DIR]... [--depfile FILE] INPUT.form -o OUTPUT.bin\n"
    "       plonkrift-formc --to-text [--extract DIR] INPUT.bin -o OUTPUT.form\n"
    "Compiles a text form into the binary form stream, or prints a binary form as text.\n"
    "  -o FILE               the file to write (required)\n"
    "  -I DIR                where @file(\"...\") is looked for after the form's own folder\n"
    "                        (repeatable, in order)\n"
    "  --depfile FILE        also write a make-style rule naming every file read\n"
    "  --to-text             print a binary form as text\n"
    "  --extract DIR         with --to-text: each binary value to its own file in DIR\n"
    "  -h, --help            this text\n"
    "  --version             the version\n"
    "Exit status: 0 done, 1 a form that cannot be read or written, 2 a mistake on the command line.\n";

struct Options {
  bool toText = false;
  std::vector<fs::path> includes;
  fs::path input, output, depfile, extract;
  bool help = false, version = false;
};

// Throws cli::Mistake for anything the tool cannot do as asked.
Options Parse(int argc, char** argv) {
  enum { kOutput, kInclude, kDepfile, kToText, kExtract, kHelp, kVersion };
  cli::CommandLine line(argc, argv,
                        {{kOutput, nullptr, 'o', true},
                         {kInclude, nullptr, 'I', true},
                         {kDepfile, "depfile", 0, true},
                         {kToText, "to-text"},
                         {kExtract, "extract", 0, true},
                         {kHelp, "help", 'h'},
                         {kVersion, "version"}});
  Options options;
  for (int option; (option = line.next()) != cli::CommandLine::kEnd;) {
    switch (option) {
      case kOutput:
        options.output = line.file();
        break;
      case kInclude:
        options.includes.emplace_back(line.value());
        break;
      case kDepfile:
        options.depfile = line.value();
        break;
      case kToText:
        options.toText = true;
        break;
      case kExtract:
        options.extract = line.value();
        break;
      case kHelp:
        options.help = true;
        break;
      case kVersion:
        options.version = true;
        break;
    }
  }
  if (options.help || options.version) return options;
  options.input = line.onlyOperand("input file");
  if (options.output.empty()) throw cli::Mistake("no output file: give -o FILE");
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const auto status = cli::ParseCommandLine(kTool, kUsage, Parse, argc, argv, options)) return *status;

  try {
    const std::vector<std::uint8_t> in = ReadFile(options.input);
    if (options.toText) {
      int counter = 0;
      framework::BinarySink sink;
      if (!options.extract.empty()) {
        fs::create_directories(options.extract);
        sink = [&](const std::string& path,
                   std::span<const std::uint8_t> bytes) -> std::optional<std::string> {
          const std::string name = std::to_string(++counter) + "-" + path + ".bin";
          WriteFile(options.extract / name, bytes.data(), bytes.size());
          // Relative to the text file, so compiling it back finds the files.
          return fs::relative(options.extract / name, fs::absolute(options.output).parent_path())
              .generic_string();
        };
      }
      const std::string text = framework::BinaryFormToText(in, sink);
      WriteFile(options.output, text.data(), text.size());
      return 0;
    }

    std::vector<fs::path> read{options.input};
    const fs::path base = options.input.parent_path();
    auto loader = [&](const std::string& name) {
      std::vector<fs::path> places{base / name};
      for (const auto& dir : options.includes) places.push_back(dir / name);
      for (const auto& p : places) {
        if (fs::is_regular_file(p)) {
          read.push_back(p);
          return ReadFile(p);
        }
      }
      throw std::runtime_error("not found next to the form or in any -I directory");
    };
    const std::string text(in.begin(), in.end());
    const std::vector<std::uint8_t> bin = framework::TextFormToBinary(text, loader);
    WriteFile(options.output, bin.data(), bin.size());
    if (!options.depfile.empty()) {
      std::string rule = DepPath(options.output) + ":";
      for (const auto& p : read) rule += " " + DepPath(p);
      rule += "\n";
      WriteFile(options.depfile, rule.data(), rule.size());
    }
    return 0;
  } catch (const framework::Exception& e) {
    std::cerr << options.input.string() << ": " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << kTool << ": " << e.what() << "\n";
    return 1;
  }
}
