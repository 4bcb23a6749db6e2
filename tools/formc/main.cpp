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
// 2 on bad usage.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/core/Exception.h"
#include "framework/core/TextForm.h"

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

int Usage() {
  std::cerr << "usage: plonkrift-formc [-I DIR]... [--depfile FILE] INPUT.form -o OUTPUT.bin\n"
               "       plonkrift-formc --to-text [--extract DIR] INPUT.bin -o OUTPUT.form\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool toText = false;
  std::vector<fs::path> includes;
  fs::path input, output, depfile, extract;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--to-text") {
      toText = true;
    } else if (a == "-I" || a == "-o" || a == "--depfile" || a == "--extract") {
      if (!(v = next())) return Usage();
      if (a == "-I") includes.emplace_back(v);
      if (a == "-o") output = v;
      if (a == "--depfile") depfile = v;
      if (a == "--extract") extract = v;
    } else if (!a.empty() && a[0] != '-' && input.empty()) {
      input = a;
    } else {
      return Usage();
    }
  }
  if (input.empty() || output.empty()) return Usage();

  try {
    const std::vector<std::uint8_t> in = ReadFile(input);
    if (toText) {
      int counter = 0;
      framework::BinarySink sink;
      if (!extract.empty()) {
        fs::create_directories(extract);
        sink = [&](const std::string& path,
                   std::span<const std::uint8_t> bytes) -> std::optional<std::string> {
          const std::string name = std::to_string(++counter) + "-" + path + ".bin";
          WriteFile(extract / name, bytes.data(), bytes.size());
          // Relative to the text file, so compiling it back finds the files.
          return fs::relative(extract / name, fs::absolute(output).parent_path()).generic_string();
        };
      }
      const std::string text = framework::BinaryFormToText(in, sink);
      WriteFile(output, text.data(), text.size());
      return 0;
    }

    std::vector<fs::path> read{input};
    const fs::path base = input.parent_path();
    auto loader = [&](const std::string& name) {
      std::vector<fs::path> places{base / name};
      for (const auto& dir : includes) places.push_back(dir / name);
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
    WriteFile(output, bin.data(), bin.size());
    if (!depfile.empty()) {
      std::string rule = DepPath(output) + ":";
      for (const auto& p : read) rule += " " + DepPath(p);
      rule += "\n";
      WriteFile(depfile, rule.data(), rule.size());
    }
    return 0;
  } catch (const framework::Exception& e) {
    std::cerr << input.string() << ": " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "plonkrift-formc: " << e.what() << "\n";
    return 1;
  }
}
