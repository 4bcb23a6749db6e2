// plonkrift-render run as a user runs it: the self-description, renders of
// the demo and of files, and one clear line for every mistake.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
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

class RenderCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("plonkrift-render-test-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  Result Run(const std::vector<std::string>& args) {
    std::string command = Quote(PLONKRIFT_RENDER);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(dir / "stdout") + " 2>" + Quote(dir / "stderr") + " </dev/null";
    Result result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(dir / "stdout");
    result.err = Slurp(dir / "stderr");
    return result;
  }

  struct Sound {
    int rate = 0, channels = 0, format = 0;
    std::vector<float> samples;  // interleaved
  };
  static Sound Read(const fs::path& path) {
    Sound sound;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return sound;
    sound.rate = info.samplerate;
    sound.channels = info.channels;
    sound.format = info.format;
    sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, sound.samples.data(), info.frames);
    sf_close(file);
    return sound;
  }
  static void Write(const fs::path& path, int format, int rate, int channels, const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
  }

  fs::path dir;
};

TEST_F(RenderCli, InfoShowsTheSelfDescriptionAHostSees) {
  const Result r = Run({"--info"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* expected : {"name:       plonkrift6v2", "vendor:     plonkrift", "product:    plonkrift6 v2",
                               "'p6v2'", "parameters: 70", "programs:   8", "CanReplacing",
                               " 41  FD1 Cutoff       0.1000     10.00 %", " 69  reserved", "  7  Init Preset 08"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
}

TEST_F(RenderCli, RendersTheDemoAsFloatWav) {
  const Result r = Run({"-o", (dir / "demo.wav").string(), "--rate", "48000", "--tempo", "140"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("demo.wav"), std::string::npos);
  EXPECT_TRUE(r.err.empty()) << "no progress bar when standard error is no terminal: " << r.err;
  const Sound s = Read(dir / "demo.wav");
  EXPECT_EQ(s.rate, 48000);
  EXPECT_EQ(s.channels, 2);
  EXPECT_EQ(s.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  // Six bars at 140 BPM.
  EXPECT_EQ(s.samples.size() / 2, static_cast<std::size_t>(6 * 4 * 60.0 / 140.0 * 48000));
  double energy = 0;
  for (float v : s.samples) {
    ASSERT_TRUE(std::isfinite(v));
    energy += v * v;
  }
  EXPECT_GT(energy, 1.0);
}

TEST_F(RenderCli, MonoFileFeedsBothInputsAndParametersAreSetByName) {
  // With the gate and both units off and the volume at 1, the effect passes
  // the mono sum: each output sample is twice the file's.
  std::vector<float> mono(30000);
  for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = 0.25f * std::sin(0.01f * static_cast<float>(i));
  for (auto [name, format] : {std::pair{"in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                              std::pair{"in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                              std::pair{"in.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT}}) {
    Write(dir / name, format, 48000, 1, mono);
    const Sound original = Read(dir / name);
    const Result r = Run({(dir / name).string(), "-o", (dir / "out.wav").string(), "--set", "Gate Enable=0.5",
                          "--set", "FD1 Enable=0", "--set", "FD2 Enable = 0", "--set", "Gate Volume=1", "--block",
                          "100"});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    const Sound s = Read(dir / "out.wav");
    EXPECT_EQ(s.rate, 48000) << name;
    ASSERT_EQ(s.samples.size(), mono.size() * 2) << name;
    for (std::size_t i = 0; i < mono.size(); ++i) {
      ASSERT_EQ(s.samples[2 * i], 2.0f * original.samples[i]) << name << " " << i;
      ASSERT_EQ(s.samples[2 * i + 1], 2.0f * original.samples[i]) << name << " " << i;
    }
  }
}

TEST_F(RenderCli, ProgramTransportStartAndBitsChangeTheRender) {
  const auto render = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"-o", (dir / "x.wav").string()});
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return Read(dir / "x.wav");
  };
  const Sound base = render({});
  EXPECT_NE(render({"--stopped"}).samples, base.samples);
  EXPECT_NE(render({"--start", "2.5"}).samples, base.samples);
  EXPECT_EQ(render({"--program", "3"}).samples, base.samples) << "all programs start alike";
  EXPECT_EQ(render({"--block", "64"}).samples, base.samples) << "the block size changes nothing";
  const Sound pcm = render({"--bits", "16"});
  EXPECT_EQ(pcm.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

TEST_F(RenderCli, MistakesGiveOneClearLineAndAFailingExit) {
  std::ofstream(dir / "notes.txt") << "not a sound\n";
  Write(dir / "four.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 4, std::vector<float>(400, 0.0f));
  const std::string out = (dir / "o.wav").string();
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{(dir / "missing.wav").string(), "-o", out}, "does not exist"},
      {{dir.string(), "-o", out}, "cannot read input file"},
      {{(dir / "notes.txt").string(), "-o", out}, "unsupported format"},
      {{(dir / "four.wav").string(), "-o", out}, "4 channels"},
      {{"--set", "FD1 Cutof=0.3", "-o", out}, "unknown parameter \"FD1 Cutof\"; valid names: Step1,"},
      {{"--set", "reserved=0.3", "-o", out}, "unknown parameter"},
      {{"--set", "FD1 Cutoff=1.5", "-o", out}, "outside 0..1"},
      {{"--set", "FD1 Cutoff=-0.1", "-o", out}, "outside 0..1"},
      {{"--set", "FD1 Cutoff=abc", "-o", out}, "outside 0..1"},
      {{"--set", "FD1 Cutoff", "-o", out}, "NAME=VALUE"},
      {{"--tempo", "0", "-o", out}, "tempo '0' is out of range"},
      {{"--tempo", "nan", "-o", out}, "tempo 'nan' is out of range"},
      {{"--tempo", "2000", "-o", out}, "out of range"},
      {{"--rate", "100", "-o", out}, "sample rate '100' is out of range"},
      {{"--rate", "1e9", "-o", out}, "sample rate"},
      {{"--block", "0", "-o", out}, "block size"},
      {{"--program", "8", "-o", out}, "program '8'"},
      {{"--bits", "8", "-o", out}, "bits '8'"},
      {{"--tempo"}, "--tempo needs a value"},
      {{"--frobnicate"}, "unknown option"},
      {{"--plugin", (dir / "none.so").string(), "-o", out}, "cannot load the plug-in"},
      {{"-o", (dir / "no-such-dir" / "x.wav").string()}, "cannot write"},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_NE(r.status, 0) << c.args[0];
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("plonkrift-render: ", 0), 0u) << r.err;
  }
  EXPECT_FALSE(fs::exists(out)) << "nothing is written after a mistake";
}

}  // namespace
