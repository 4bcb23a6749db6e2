// plonkrift-shot and plonkrift-plot run as a user runs them, and the tools the
// build runs (plonkrift-formc, plonkrift-picture, plonkrift-artwork) as the
// build does: their options in every spelling getopt_long allows, --help and
// --version, and one line that names the mistake, with exit status 2, for
// every bad command line.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Slurp(const fs::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Width and height of a PNG file, from its header; 0 x 0 when it is none.
std::pair<std::uint32_t, std::uint32_t> PngSize(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char header[24] = {};
  file.read(reinterpret_cast<char*>(header), sizeof header);
  if (!file || std::string(reinterpret_cast<char*>(header + 1), 3) != "PNG") return {0, 0};
  const auto be32 = [&](int at) {
    return std::uint32_t{header[at]} << 24 | std::uint32_t{header[at + 1]} << 16 |
           std::uint32_t{header[at + 2]} << 8 | header[at + 3];
  };
  return {be32(16), be32(20)};
}

class ToolCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("plonkrift-tool-test-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs a tool in the scratch folder, so relative file names land there.
  Result Run(const std::string& tool, const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(dir) + " && " + Quote(tool);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >stdout 2>stderr </dev/null";
    Result result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(dir / "stdout");
    result.err = Slurp(dir / "stderr");
    return result;
  }

  void WriteWav(const std::string& name, int rate, int frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open((dir / name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(2 * static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < samples.size(); ++i)
      samples[i] = 0.5f * std::sin(0.001f * static_cast<float>(i));
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
  }

  fs::path dir;
};

const struct {
  const char* name;
  const char* path;
} kTools[] = {{"plonkrift-shot", PLONKRIFT_SHOT},
              {"plonkrift-plot", PLONKRIFT_PLOT},
              {"plonkrift-formc", PLONKRIFT_FORMC},
              {"plonkrift-picture", PLONKRIFT_PICTURE},
              {"plonkrift-artwork", PLONKRIFT_ARTWORK}};

TEST_F(ToolCli, HelpAndVersionGoToStandardOutputAndSucceed) {
  for (const auto& tool : kTools) {
    for (const char* help : {"--help", "-h"}) {
      const Result r = Run(tool.path, {help});
      EXPECT_EQ(r.status, 0) << tool.name << " " << help;
      EXPECT_EQ(r.out.rfind(std::string("usage: ") + tool.name + " ", 0), 0u) << r.out;
      EXPECT_NE(r.out.find("--version"), std::string::npos) << r.out;
      EXPECT_EQ(r.err, "");
    }
    const Result r = Run(tool.path, {"--version"});
    EXPECT_EQ(r.status, 0) << tool.name;
    EXPECT_EQ(r.out, std::string(tool.name) + " " + PLONKRIFT_VERSION + "\n") << "the project's version";
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(ToolCli, MistakesGiveOneLineNamingTheOptionAndExitStatus2) {
  WriteWav("dry.wav", 44100, 1000);
  WriteWav("wet.wav", 44100, 1000);
  const struct {
    const char* tool;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {PLONKRIFT_PLOT, {"--tempo=abc", "dry.wav", "wet.wav", "-oa.png"}, "--tempo: not a number: abc"},
      {PLONKRIFT_PLOT, {"--tempo", "12x", "dry.wav", "wet.wav", "-oa.png"}, "--tempo: not a number: 12x"},
      {PLONKRIFT_PLOT, {"--tempo=", "dry.wav", "wet.wav", "-oa.png"}, "--tempo: not a number: "},
      {PLONKRIFT_PLOT, {"--tempo=inf", "dry.wav", "wet.wav", "-oa.png"}, "--tempo: not a number: inf"},
      {PLONKRIFT_PLOT,
       {"--tempo=0", "dry.wav", "wet.wav", "-oa.png"},
       "--tempo: out of range (1 to 1000): 0"},
      {PLONKRIFT_PLOT,
       {"--tempo=1000.5", "dry.wav", "wet.wav", "-oa.png"},
       "--tempo: out of range (1 to 1000): 1000.5"},
      {PLONKRIFT_PLOT, {"--start=two", "dry.wav", "wet.wav", "-oa.png"}, "--start: not a number: two"},
      {PLONKRIFT_PLOT,
       {"--start=-2e9", "dry.wav", "wet.wav", "-oa.png"},
       "--start: out of range (-1000000000 to 1000000000): -2e9"},
      {PLONKRIFT_PLOT, {"--seconds=0", "dry.wav", "wet.wav", "-oa.png"}, "--seconds: must be more than 0: 0"},
      {PLONKRIFT_PLOT, {"dry.wav", "wet.wav", "-oa.png", "--tempo"}, "--tempo: needs a value"},
      {PLONKRIFT_PLOT, {"dry.wav", "wet.wav", "-o"}, "-o: needs a value"},
      {PLONKRIFT_PLOT, {"dry.wav", "wet.wav", "--output="}, "--output: the file name is empty"},
      {PLONKRIFT_PLOT, {"dry.wav", "wet.wav"}, "no output file: give -o PLOT.png"},
      {PLONKRIFT_PLOT,
       {"dry.wav", "-oa.png"},
       "give two audio files, the input and the output of a render (1 given)"},
      {PLONKRIFT_PLOT,
       {"dry.wav", "wet.wav", "dry.wav", "-oa.png"},
       "give two audio files, the input and the output of a render (3 given)"},
      {PLONKRIFT_PLOT, {"-x", "dry.wav", "wet.wav", "-oa.png"}, "unknown option: -x (see --help)"},
      {PLONKRIFT_PLOT,
       {"--bpm=93", "dry.wav", "wet.wav", "-oa.png"},
       "unknown option: --bpm=93 (see --help)"},
      {PLONKRIFT_PLOT, {"--version=2", "dry.wav", "wet.wav", "-oa.png"}, "--version: takes no value"},
      {PLONKRIFT_SHOT, {"--program=8", "-oa.png"}, "--program: out of range (0 to 7): 8"},
      {PLONKRIFT_SHOT, {"--program", "-1", "-oa.png"}, "--program: out of range (0 to 7): -1"},
      {PLONKRIFT_SHOT, {"--program=1.5", "-oa.png"}, "--program: not a whole number: 1.5"},
      {PLONKRIFT_SHOT, {"--set", "FD1 Cutoff", "-oa.png"}, "--set: not NAME=VALUE: FD1 Cutoff"},
      {PLONKRIFT_SHOT, {"--set", " =0.5", "-oa.png"}, "--set: not NAME=VALUE:  =0.5"},
      {PLONKRIFT_SHOT,
       {"--set", "FD1 Cutoff=1.5", "-oa.png"},
       "--set \"FD1 Cutoff\": out of range (0 to 1): 1.5"},
      {PLONKRIFT_SHOT, {"--set", "FD1 Cutoff=high", "-oa.png"}, "--set \"FD1 Cutoff\": not a number: high"},
      {PLONKRIFT_SHOT, {"--set", "FD1 Cutof=0.5", "-oa.png"}, "--set: no parameter named \"FD1 Cutof\""},
      {PLONKRIFT_SHOT, {"--info", "extra", "-oa.png"}, "unexpected argument: extra"},
      {PLONKRIFT_SHOT, {"--info=yes", "-oa.png"}, "--info: takes no value"},
      {PLONKRIFT_SHOT, {"--program"}, "--program: needs a value"},
      {PLONKRIFT_SHOT, {"--info"}, "no output file: give -o OUTPUT.png"},
      {PLONKRIFT_SHOT, {"-q", "-oa.png"}, "unknown option: -q (see --help)"},
      {PLONKRIFT_FORMC, {"in.form"}, "no output file: give -o FILE"},
      {PLONKRIFT_FORMC, {"-o", "a.bin"}, "no input file (see --help)"},
      {PLONKRIFT_FORMC, {"a.form", "b.form", "-oa.bin"}, "more than one input file: 'a.form' and 'b.form'"},
      {PLONKRIFT_FORMC, {"in.form", "-oa.bin", "-I"}, "-I: needs a value"},
      {PLONKRIFT_FORMC, {"--to-text=1", "in.bin", "-oa.form"}, "--to-text: takes no value"},
      {PLONKRIFT_PICTURE, {"in.png"}, "no output file: give -o FILE"},
      {PLONKRIFT_PICTURE, {"in.png", "-oa.pic", "--compressor"}, "--compressor: needs a value"},
      {PLONKRIFT_PICTURE,
       {"--transparent", "in.png", "-oa.pic"},
       "unknown option: --transparent (see --help)"},
      {PLONKRIFT_ARTWORK, {"out"}, "no form: give --form EDITOR.form"},
      {PLONKRIFT_ARTWORK, {"--form", "a.form"}, "no output folder (see --help)"},
      {PLONKRIFT_ARTWORK, {"--form=a.form", "--form=b.form", "out"}, "--form: given twice"},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.tool, c.args);
    const std::string name = fs::path(c.tool).filename().string();
    EXPECT_EQ(r.status, 2) << name << " " << c.args[0];
    EXPECT_EQ(r.err, name + ": " + c.message + "\n");
    EXPECT_EQ(r.out, "");
  }
  for (const char* name : {"a.png", "a.bin", "a.form", "a.pic", "out"})
    EXPECT_FALSE(fs::exists(dir / name)) << name << ": nothing is written after a mistake";
}

TEST_F(ToolCli, OptionsTakeEverySpellingAndDoubleDashEndsThem) {
  // Files whose names begin with a dash can follow "--".
  WriteWav("-dry.wav", 48000, 48000);
  WriteWav("-wet.wav", 48000, 48000);
  Result r = Run(PLONKRIFT_PLOT, {"--tempo=93", "--start", "-2.5", "--seconds=0.5", "-oplot.png", "--",
                                  "-dry.wav", "-wet.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(PngSize(dir / "plot.png"), (std::pair<std::uint32_t, std::uint32_t>{1400, 560}));
  r = Run(PLONKRIFT_PLOT, {"--output", "plot2.png", "--tem", "93", "--", "-dry.wav", "-wet.wav"});
  ASSERT_EQ(r.status, 0) << "a long option may be abbreviated: " << r.err;
  EXPECT_TRUE(fs::exists(dir / "plot2.png"));

  r = Run(PLONKRIFT_SHOT,
          {"--program=3", "--set=FD1 Cutoff = 0.3", "--set", "Gate Shuffle=0.5", "-oshot.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(PngSize(dir / "shot.png"), (std::pair<std::uint32_t, std::uint32_t>{719, 512}));
}

TEST_F(ToolCli, PlotRefusesFilesOfDifferentSampleRatesOrThatCannotBeRead) {
  WriteWav("dry.wav", 44100, 4410);
  WriteWav("wet.wav", 48000, 4800);
  Result r = Run(PLONKRIFT_PLOT, {"dry.wav", "wet.wav", "-oplot.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "plonkrift-plot: sample rates differ: 'dry.wav' is 44100 Hz, 'wet.wav' is 48000 Hz\n");
  EXPECT_FALSE(fs::exists(dir / "plot.png"));

  r = Run(PLONKRIFT_PLOT, {"dry.wav", "missing.wav", "-oplot.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("plonkrift-plot: cannot read 'missing.wav'", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_FALSE(fs::exists(dir / "plot.png"));
}

}  // namespace
