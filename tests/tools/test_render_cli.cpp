// plonkrift-render run as a user runs it: the self-description, renders of
// the demo and of files, the echo tail, files that are written whole or not
// at all, levels, formats, parameters in their own units, presets, and one
// clear line for every mistake.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The names of a folder's entries.
std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

constexpr double kBar120 = 88200.0;  // frames of a bar at 120 BPM and 44100 Hz

class RenderCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("plonkrift-render-test-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    // The library of this tree, whatever else is installed on the machine.
    setenv("PLONKRIFT_PLUGIN", PLONKRIFT_PLUGIN_BUILT, 1);
  }
  void TearDown() override {
    for (const fs::path& mount : mounts) umount2(mount.c_str(), MNT_DETACH);
    fs::remove_all(dir);
  }

  // Runs the renderer in dir; prefix goes before it (e.g. "env -u X"),
  // standard input comes from stdinFile.
  Result Run(const std::vector<std::string>& args, const std::string& prefix = "",
             const std::string& stdinFile = "/dev/null") {
    std::string command = "cd " + Quote(dir) + " && " + prefix + " " + Quote(PLONKRIFT_RENDER);
    for (const std::string& arg : args) command += " " + Quote(arg);
    return Shell(command + " <" + Quote(stdinFile));
  }
  // A shell command line; "R" in it stands for the renderer.
  Result Shell(const std::string& command) {
    Result result;
    const std::string line = "R=" + Quote(PLONKRIFT_RENDER) + "; " + command;
    const std::string full =
        "sh -c " + Quote(line) + " >" + Quote(dir / ".stdout") + " 2>" + Quote(dir / ".stderr");
    const int raw = std::system(full.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(dir / ".stdout");
    result.err = Slurp(dir / ".stderr");
    fs::remove(dir / ".stdout");
    fs::remove(dir / ".stderr");
    return result;
  }

  struct Sound {
    int rate = 0, channels = 0, format = 0;
    std::vector<float> samples;  // interleaved
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
  };
  static Sound Read(const fs::path& path) {
    Sound sound;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return sound;
    sound.rate = info.samplerate;
    sound.channels = info.channels;
    sound.format = info.format;
    std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
    for (sf_count_t n; (n = sf_readf_float(file, block.data(), 4096)) > 0;)
      sound.samples.insert(sound.samples.end(), block.begin(), block.begin() + n * info.channels);
    sf_close(file);
    return sound;
  }
  static void Write(const fs::path& path, int format, int rate, int channels,
                    const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
  }
  static std::vector<float> Noise(std::size_t count, float level, unsigned seed = 1) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-level, level);
    std::vector<float> samples(count);
    for (float& s : samples) s = uniform(generator);
    return samples;
  }
  // A small tmpfs at path (root only); false when it cannot be mounted.
  bool Mount(const fs::path& path, const char* data) {
    fs::create_directories(path);
    if (geteuid() != 0 || mount("tmpfs", path.c_str(), "tmpfs", 0, data) != 0) return false;
    mounts.push_back(path);
    return true;
  }
  // The value column of a slot's line in --info.
  static double InfoValue(const std::string& info, int slot) {
    char start[8];
    std::snprintf(start, sizeof start, "\n%3d  ", slot);
    const auto at = info.find(start);
    if (at == std::string::npos) return NAN;
    return std::stod(info.substr(at + 1 + 22, 6));
  }
  static std::string InfoLine(const std::string& info, int slot) {
    char start[8];
    std::snprintf(start, sizeof start, "\n%3d  ", slot);
    const auto at = info.find(start);
    if (at == std::string::npos) return "";
    return info.substr(at + 1, info.find('\n', at + 1) - at - 1);
  }

  fs::path dir;
  std::vector<fs::path> mounts;
};

TEST_F(RenderCli, InfoShowsTheSelfDescriptionAHostSeesAndWhatEachParameterMeans) {
  const Result r = Run({"--info"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* expected :
       {"name:       plonkrift6v2", "vendor:     plonkrift", "product:    plonkrift6 v2", "'p6v2'",
        "parameters: 70", "programs:   8", "CanReplacing", " 41  FD1 Cutoff       0.1000     10.00 %",
        " 69  reserved", "  7  Init Preset 08", "plug-in:    " PLONKRIFT_PLUGIN_BUILT "\n"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  // Each value also in its own units, with what it does.
  for (const auto& [slot, parts] :
       std::vector<std::pair<int, std::vector<const char*>>>{{1, {"on ", "opens the gate"}},
                                                             {43, {"HP ", "high-pass", "low-pass"}},
                                                             {44, {"1/4 beat", "delay in beats"}},
                                                             {37, {"70%", "dB"}},
                                                             {60, {"2 bars", "cycle"}},
                                                             {35, {"0.8 steps", "decay"}}}) {
    const std::string line = InfoLine(r.out, slot);
    for (const char* part : parts) EXPECT_NE(line.find(part), std::string::npos) << part << " in: " << line;
  }
}

TEST_F(RenderCli, RendersTheDemoAsFloatWav) {
  const Result r = Run({"-o", "demo.wav", "--rate", "48000", "--tempo", "140", "--tail", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("demo.wav"), std::string::npos);
  EXPECT_TRUE(r.err.empty()) << "no progress bar when standard error is no terminal: " << r.err;
  const Sound s = Read(dir / "demo.wav");
  EXPECT_EQ(s.rate, 48000);
  EXPECT_EQ(s.channels, 2);
  EXPECT_EQ(s.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  // Six bars at 140 BPM.
  EXPECT_EQ(s.frames(), static_cast<std::size_t>(6 * 4 * 60.0 / 140.0 * 48000));
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
    const Result r = Run({name, "-o", "out.wav", "--set", "Gate Enable=0.5", "--set", "FD1 Enable=0", "--set",
                          "FD2 Enable = 0", "--set", "Gate Volume=1", "--block", "100", "--tail", "0"});
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
    args.insert(args.end(), {"-o", "x.wav"});
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return Read(dir / "x.wav");
  };
  const Sound base = render({});
  EXPECT_NE(render({"--stopped"}).samples, base.samples);
  EXPECT_NE(render({"--start", "2.5"}).samples, base.samples);
  EXPECT_EQ(render({"--program", "3"}).samples, base.samples) << "all programs start alike";
  EXPECT_EQ(render({"--block", "64"}).samples, base.samples)
      << "the block size changes nothing, the tail included";
  const Sound pcm = render({"--bits", "16"});
  EXPECT_EQ(pcm.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

TEST_F(RenderCli, EchoesRingOutAfterTheInput) {
  // A second of noise, then a second of silence: at 120 BPM the default
  // program's echoes sound well past the end of the file.
  std::vector<float> input = Noise(2 * 44100 * 2, 0.5f);
  std::fill(input.begin() + 44100 * 2, input.end(), 0.0f);
  Write(dir / "burst.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, input);
  const std::size_t inputFrames = input.size() / 2, bar = static_cast<std::size_t>(kBar120);
  const auto render = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"burst.wav", "-o", "out.wav"};
    args.insert(args.end(), extra.begin(), extra.end());
    // A render that never ends is stopped rather than filling the disk.
    const Result r = Run(args, "timeout 120");
    EXPECT_EQ(r.status, 0) << r.err;
    return Read(dir / "out.wav");
  };
  const float quiet = static_cast<float>(std::pow(10.0, -90.0 / 20.0));
  const auto loudest = [](const Sound& s, std::size_t from, std::size_t to) {
    float peak = 0.0f;
    for (std::size_t i = 2 * from; i < 2 * to; ++i) peak = std::max(peak, std::fabs(s.samples[i]));
    return peak;
  };

  const Sound plain = render({"--tail", "0"});
  ASSERT_EQ(plain.frames(), inputFrames);
  const Sound tail = render({});
  ASSERT_GT(tail.frames(), inputFrames + bar);
  // The file's part is rendered as before; what follows is the echoes
  // (louder than -60 dBFS, so audible) until a bar below -90 dBFS ends it.
  EXPECT_TRUE(std::equal(plain.samples.begin(), plain.samples.end(), tail.samples.begin()));
  EXPECT_GT(loudest(tail, inputFrames, tail.frames()), std::pow(10.0, -60.0 / 20.0));
  const std::size_t lastBar = tail.frames() - bar;
  EXPECT_LT(loudest(tail, lastBar, tail.frames()), quiet);
  EXPECT_GE(loudest(tail, lastBar - 1, lastBar), quiet) << "the tail ends one bar after the last echo";

  // At one frame a block the quiet bar ends on a block's last frame: the
  // render still stops there, with the same sound.
  const Sound single = render({"--block", "1"});
  EXPECT_EQ(single.frames(), tail.frames());
  EXPECT_TRUE(single.samples == tail.samples);

  EXPECT_EQ(render({"--tail", "2"}).frames(), inputFrames + 2 * bar);
  EXPECT_EQ(render({"--tail=0.5"}).frames(), inputFrames + bar / 2);
  // Echoes that never die away are cut after 32 bars.
  EXPECT_EQ(render({"--set", "FD1 Feedback=1", "--set", "FD1 Reso=1"}).frames(), inputFrames + 32 * bar);
}

TEST_F(RenderCli, UnwritableFolderLeavesTheExistingOutputAndNoTemporaryFile) {
  const fs::path folder = dir / "locked";
  const std::string original = "an earlier render\n";
  if (geteuid() == 0) {
    // Root writes anywhere on a read-write file system: use a read-only one.
    if (!Mount(folder, "size=64k")) GTEST_SKIP() << "cannot mount a tmpfs here";
    std::ofstream(folder / "out.wav") << original;
    ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
  } else {
    fs::create_directories(folder);
    std::ofstream(folder / "out.wav") << original;
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  }
  std::ofstream(dir / "notes.txt") << "not a sound\n";
  // The output is checked first: its error comes before the input's.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-o", "locked/out.wav"},
        std::vector<std::string>{"notes.txt", "-o", "locked/out.wav"}}) {
    const Result r = Run(args);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("cannot write 'locked/out.wav'"), std::string::npos) << r.err;
    EXPECT_TRUE(Slurp(folder / "out.wav") == original) << "the earlier output changed";
    EXPECT_EQ(Listing(folder), std::set<std::string>{"out.wav"});
  }
  if (geteuid() != 0) fs::permissions(folder, fs::perms::owner_all);
}

TEST_F(RenderCli, FullDiskLeavesTheExistingOutputAndNoTemporaryFile) {
  // The demo takes megabytes; the disk has room for a quarter of one.
  if (!Mount(dir / "small", "size=256k")) GTEST_SKIP() << "needs root to mount a small tmpfs";
  const std::vector<float> earlier = Noise(20000, 0.1f);
  Write(dir / "small" / "out.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, earlier);
  const std::string original = Slurp(dir / "small" / "out.wav");
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, {"--normalize", "-1"}, {"--bits", "16", "--dry", "small/dry.wav"}}) {
    std::vector<std::string> args = {"-o", "small/out.wav"};
    args.insert(args.end(), extra.begin(), extra.end());
    const Result r = Run(args);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_TRUE(Slurp(dir / "small" / "out.wav") == original) << "the earlier output changed";
    EXPECT_EQ(Listing(dir / "small"), std::set<std::string>{"out.wav"});
  }
}

TEST_F(RenderCli, InterruptedRenderLeavesTheExistingOutputAndNoTemporaryFile) {
  fs::create_directories(dir / "work");
  const std::string original = "an earlier render\n";
  for (int signal : {SIGINT, SIGTERM}) {
    std::ofstream(dir / "work" / "out.wav") << original;
    // The demo at 1 BPM: tens of megabytes, long enough to be caught mid-write.
    const std::string output = (dir / "work" / "out.wav").string();
    const char* argv[] = {PLONKRIFT_RENDER, "--tempo", "1",  "--rate",       "8000",
                          "--bits",         "16",      "-o", output.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // A test run in the background inherits ignored signals; a user's
    // renderer gets them.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, PLONKRIFT_RENDER, &actions, &attributes, const_cast<char**>(argv), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    // Wait (a minute at most) until a megabyte is on its way to the disk.
    bool writing = false;
    for (int i = 0; i < 12000 && !writing; ++i) {
      for (const auto& entry : fs::directory_iterator(dir / "work")) {
        std::error_code ignored;
        if (entry.path().filename() != "out.wav" && fs::file_size(entry.path(), ignored) > (1u << 20))
          writing = true;
      }
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(writing) << "no temporary file grew while rendering (signal " << signal << ")";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "ends by the signal " << signal;
    EXPECT_TRUE(Slurp(dir / "work" / "out.wav") == original) << "the earlier output changed";
    EXPECT_EQ(Listing(dir / "work"), std::set<std::string>{"out.wav"});
  }
}

TEST_F(RenderCli, ReplacedFileKeepsItsPermissionsAndNewOnesFollowTheUmask) {
  const auto mode = [&](const char* name) {
    struct stat status {};
    return stat((dir / name).c_str(), &status) == 0 ? status.st_mode & 07777 : 0u;
  };
  for (mode_t earlier : {0640u, 0755u}) {
    std::ofstream(dir / "out.wav") << "an earlier render\n";
    ASSERT_EQ(chmod((dir / "out.wav").c_str(), earlier), 0);
    const Result r = Run({"--tail", "0", "--rate", "8000", "-o", "out.wav"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(mode("out.wav"), earlier) << std::oct << earlier;
  }
  for (mode_t mask : {022u, 027u}) {
    fs::remove(dir / "new.wav");
    char command[128];
    std::snprintf(command, sizeof command, "umask %03o && \"$R\" --tail 0 --rate 8000 -o new.wav", mask);
    const Result r = Shell("cd " + Quote(dir) + " && " + command);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(mode("new.wav"), 0666u & ~mask) << std::oct << mask;
  }
}

TEST_F(RenderCli, DryAndOutputMustBeDifferentFiles) {
  fs::create_directories(dir / "sub");
  fs::create_symlink(".", dir / "here");
  std::ofstream(dir / "x.wav") << "earlier\n";
  fs::create_hard_link(dir / "x.wav", dir / "hard.wav");
  for (const char* dry : {"x.wav", "./sub/../x.wav", "here/x.wav", "hard.wav"}) {
    const Result r = Run({"-o", "x.wav", "--dry", dry});
    EXPECT_NE(r.status, 0) << dry;
    EXPECT_NE(r.err.find("name the same file"), std::string::npos) << dry << ": " << r.err;
    EXPECT_TRUE(Slurp(dir / "x.wav") == "earlier\n") << dry << " overwrote the output";
  }
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"sub", "here", "x.wav", "hard.wav"}));
  // Files that do not exist yet are compared by where they would be.
  const Result r = Run({"-o", "new.wav", "--dry", "sub/../new.wav"});
  EXPECT_NE(r.err.find("name the same file"), std::string::npos) << r.err;
}

TEST_F(RenderCli, ReportsThePeakAndClippedSamples) {
  // Gate off, units off, volume 1: the output is twice the mono input, so a
  // sine of 0.75 peaks at 1.5 (+3.5 dBFS) and clips wherever it passes 0.5.
  std::vector<float> mono(24000);
  for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = 0.75f * std::sin(0.003f * static_cast<float>(i));
  Write(dir / "sine.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, mono);
  float peak = 0.0f;
  std::size_t over = 0;
  for (float x : mono) {
    peak = std::max(peak, std::fabs(2.0f * x));
    over += std::fabs(2.0f * x) > 1.0f ? 2 : 0;  // both channels
  }
  char expectedPeak[32];
  std::snprintf(expectedPeak, sizeof expectedPeak, "peak %+.1f dBFS", 20.0 * std::log10(peak));
  const std::vector<std::string> transparent = {
      "sine.wav", "--tail",         "0",     "--set",        "Gate Enable=0.5", "--set", "FD1 Enable=off",
      "--set",    "FD2 Enable=off", "--set", "Gate Volume=1"};
  const auto render = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = transparent;
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  };

  Result r = render({"-o", "int.wav", "--bits", "16"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(std::string(expectedPeak) + ", " + std::to_string(over) + " samples clipped"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
  EXPECT_NE(
      r.err.find("warning: the output peaks at +3.5 dBFS: " + std::to_string(over) + " samples clipped"),
      std::string::npos)
      << r.err;

  r = render({"-o", "float.wav"});
  EXPECT_NE(r.out.find(std::string(expectedPeak) + "\n"), std::string::npos)
      << "no clipping in float: " << r.out;
  EXPECT_NE(r.err.find("above full scale"), std::string::npos) << r.err;

  // Gain and normalization act after the effect.
  r = render({"-o", "gain.wav", "--bits", "24", "--gain", "-6"});
  EXPECT_NE(r.out.find("peak -2.5 dBFS, 0 samples clipped"), std::string::npos) << r.out;
  EXPECT_TRUE(r.err.empty()) << r.err;
  const auto filePeak = [&](const char* name) {
    float p = 0.0f;
    for (float v : Read(dir / name).samples) p = std::max(p, std::fabs(v));
    return p;
  };
  EXPECT_NEAR(filePeak("gain.wav"), peak * std::pow(10.0, -6.0 / 20.0), 1e-6);
  r = render({"-o", "normal.wav", "--normalize", "-1"});
  EXPECT_NE(r.out.find("peak -1.0 dBFS, normalized by -4.5 dB"), std::string::npos) << r.out;
  const double target = std::pow(10.0, -1.0 / 20.0);
  EXPECT_LE(filePeak("normal.wav"), target);
  EXPECT_GT(filePeak("normal.wav"), target * (1.0 - 1e-6));

  // Exactly full scale is no clip: a constant 0.5 comes out at 1.0 in every
  // sample, the largest 16-bit value.
  Write(dir / "half.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, std::vector<float>(4800, 0.5f));
  std::vector<std::string> args = transparent;
  args[0] = "half.wav";
  args.insert(args.end(), {"-o", "full.wav", "--bits", "16"});
  r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("peak +0.0 dBFS, 0 samples clipped\n"), std::string::npos) << r.out;
  EXPECT_TRUE(r.err.empty()) << r.err;
  const Sound full = Read(dir / "full.wav");
  ASSERT_EQ(full.samples.size(), 9600u);
  for (float v : full.samples) ASSERT_EQ(v, 32767.0f / 32768.0f);
}

TEST_F(RenderCli, OutputFormatFollowsTheExtension) {
  const struct {
    const char* name;
    std::vector<std::string> extra;
    int format;
  } cases[] = {
      {"x.wav", {}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {"X.WAV", {"--bits", "24"}, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {"x.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"x.flac", {"-b", "16"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {"x.aiff", {}, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
      {"x.aif", {"--bits", "16"}, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
      {"x.ogg", {}, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {"x.opus", {}, SF_FORMAT_OGG | SF_FORMAT_OPUS},
      {"x.mp3", {}, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
      {"x.caf", {}, SF_FORMAT_CAF | SF_FORMAT_FLOAT},
      {"x.w64", {}, SF_FORMAT_W64 | SF_FORMAT_FLOAT},
      {"x.au", {"--bits", "16"}, SF_FORMAT_AU | SF_FORMAT_PCM_16},
      {"x.rf64", {}, SF_FORMAT_RF64 | SF_FORMAT_FLOAT},
      {"take", {"--type", "flac"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--tail", "0", "--rate", "48000", "-o", c.name};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
    const Sound s = Read(dir / c.name);
    EXPECT_EQ(s.format, c.format) << c.name;
    EXPECT_EQ(s.rate, 48000) << c.name;
    fs::remove(dir / c.name);
  }
  const struct {
    std::vector<std::string> args;
    const char* message;
  } refused[] = {
      {{"-o", "x.xyz"}, "unknown format .xyz"},
      {{"-o", "take"}, "no extension"},
      {{"-o", "x.flac", "--bits", "32"}, "FLAC holds no float samples"},
      {{"-o", "x.ogg", "--bits", "16"}, "--bits does not apply to OGG Vorbis"},
      {{"-o", "x.wav", "--type", "flac"}, "named as WAV but --type is flac"},
      {{"-o", "x.wav", "--type", "xyz"}, "--type: unknown format: xyz"},
      {{"-o", "-"}, "standard output needs --type"},
  };
  for (const auto& c : refused) {
    const Result r = Run(c.args);
    EXPECT_NE(r.status, 0) << c.args[1];
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
  }
  EXPECT_EQ(Listing(dir), std::set<std::string>{}) << "nothing is written after a refusal";
}

TEST_F(RenderCli, ReadsEveryFormatLibsndfileReads) {
  const std::vector<float> stereo = Noise(48000 * 2, 0.1f);
  for (auto [name, format] : {std::pair{"in.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                              std::pair{"in.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
                              std::pair{"in.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                              std::pair{"in.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16},
                              std::pair{"in.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT}}) {
    Write(dir / name, format, 48000, 2, stereo);
    const Result r = Run({name, "--tail", "0", "-o", "out.wav"});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_TRUE(r.err.empty()) << name << ": " << r.err;
    EXPECT_EQ(Read(dir / "out.wav").frames(), Read(dir / name).frames()) << name;
  }
}

TEST_F(RenderCli, StandardInputAndOutput) {
  Write(dir / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 2, Noise(44100 * 2, 0.3f));
  ASSERT_EQ(Run({"in.flac", "--tail", "0", "-o", "file.flac"}).status, 0);
  const Sound direct = Read(dir / "file.flac");
  // FLAC cannot be read from a pipe by libsndfile; the renderer copes.
  Result r = Shell("cd " + Quote(dir) + " && cat in.flac | \"$R\" - --tail 0 -o piped.flac");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read(dir / "piped.flac").samples, direct.samples);
  r = Shell("cd " + Quote(dir) + " && \"$R\" in.flac --tail 0 -o - --type flac | cat > out.flac");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read(dir / "out.flac").samples, direct.samples);
  EXPECT_NE(r.err.find("rendered"), std::string::npos) << "the report leaves standard output to the audio";
  // WAV needs to go back to its header at the end: a pipe cannot.
  r = Shell("cd " + Quote(dir) + " && { \"$R\" in.flac -o - --type wav; echo $? >status; } | cat >/dev/null");
  EXPECT_NE(Slurp(dir / "status"), "0\n");
  EXPECT_NE(r.err.find("WAV cannot be written to a pipe"), std::string::npos) << r.err;
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
}

TEST_F(RenderCli, TruncatedInputRendersWithAWarning) {
  for (auto [name, format] : {std::pair{"cut.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                              std::pair{"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                              std::pair{"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24}}) {
    Write(dir / name, format, 44100, 2, Noise(44100 * 2, 0.1f));
    fs::resize_file(dir / name, fs::file_size(dir / name) * 6 / 10);
    const Result r = Run({name, "--tail", "0", "-o", "out.wav"});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(Lines(r.err), 1u) << name << ": " << r.err;
    EXPECT_NE(r.err.find("warning: '" + std::string(name) + "' is"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;
    const std::size_t frames = Read(dir / "out.wav").frames();
    EXPECT_GT(frames, 0u) << name;
    EXPECT_LT(frames, 44100u) << name;
  }
}

TEST_F(RenderCli, FloatOutputIsTheSameByteForByteEveryTime) {
  for (const char* name : {"a.wav", "a.aiff", "a.rf64"}) {
    std::vector<std::string> args = {"--tail", "0", "-o", name};
    ASSERT_EQ(Run(args).status, 0);
    const std::string first = Slurp(dir / name);
    // Across a second of the clock, where a time stamp would change.
    for (const std::time_t now = std::time(nullptr); std::time(nullptr) == now;)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(Run(args).status, 0);
    EXPECT_TRUE(Slurp(dir / name) == first) << name;
  }
}

TEST_F(RenderCli, OptionsFollowTheUsualConventions) {
  Result r = Run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "plonkrift-render " PLONKRIFT_VERSION "\n");
  r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: plonkrift-render", 0), 0u) << r.out;
  EXPECT_TRUE(r.err.empty());
  // --name=value, -oFILE, and -- before a file that looks like an option.
  r = Run({"--tempo=93", "--tail=0", "-oquick.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read(dir / "quick.wav").frames(), static_cast<std::size_t>(6 * 4 * 60.0 / 93.0 * 44100));
  Write(dir / "-dash.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, Noise(2000, 0.1f));
  r = Run({"--tail", "0", "-o", "dash-out.wav", "--", "-dash.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read(dir / "dash-out.wav").frames(), 1000u);
}

TEST_F(RenderCli, FindsThePluginWhereAUserInstalledIt) {
  for (const char* folder : {"a", "b", "c", "home/.vst", "empty-home"}) fs::create_directories(dir / folder);
  for (const char* folder : {"b", "c", "home/.vst"})
    fs::create_symlink(PLONKRIFT_PLUGIN_BUILT, dir / folder / "plonkrift6v2.so");
  const std::string d = dir.string(), built = PLONKRIFT_PLUGIN_BUILT;
  const std::string installed = std::string(PLONKRIFT_VST_DIR) + "/plonkrift6v2.so";
  const std::string none = "env -u PLONKRIFT_PLUGIN -u LXVST_PATH -u VST_PATH ";
  const struct {
    std::string prefix;
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {"env LXVST_PATH=" + d + "/b", {}, built},
      {none + "LXVST_PATH=" + d + "/a:" + d + "/b VST_PATH=" + d + "/c HOME=" + d + "/home",
       {},
       d + "/b/plonkrift6v2.so"},
      {none + "VST_PATH=" + d + "/a:" + d + "/c HOME=" + d + "/home", {}, d + "/c/plonkrift6v2.so"},
      {none + "HOME=" + d + "/home", {}, d + "/home/.vst/plonkrift6v2.so"},
      {none + "HOME=" + d + "/empty-home", {}, fs::exists(installed) ? installed : built},
      {"env PLONKRIFT_PLUGIN=" + d + "/none.so",
       {"--plugin", d + "/c/plonkrift6v2.so"},
       d + "/c/plonkrift6v2.so"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--info"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Run(args, c.prefix);
    ASSERT_EQ(r.status, 0) << c.prefix << ": " << r.err;
    EXPECT_NE(r.out.find("plug-in:    " + c.expected + "\n"), std::string::npos) << c.prefix << "\n" << r.out;
  }
  const Result r = Run({"--info"}, "env PLONKRIFT_PLUGIN=" + d + "/none.so");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("PLONKRIFT_PLUGIN names no file"), std::string::npos) << r.err;
}

TEST_F(RenderCli, ParametersTakeNamesAndValuesAsAMusicianTypesThem) {
  const struct {
    const char* set;
    int slot;
    double value;
  } cases[] = {
      {"Step3=on", 3, 1.0},
      {"tie 4 = yes", 20, 1.0},
      {"Step1=off", 1, 0.0},
      {"FD1 Filter Type=LP", 43, 1.0},
      {"fd2filtertype=hp", 53, 0.0},
      {"FD1 Delay Time=3/4", 44, 0.75},
      {"FD2 Delay Time = 1/2 beat", 54, 0.5},
      {"LFO1 Period=4", 60, 0.4},
      {"LFO2 Period=8 bars", 61, 0.8},
      {"LFO1 Period=1", 60, 0.1},
      {"LFO1 Period=10", 60, 1.0},
      {"LFO2 Period=0.1", 61, 0.1},
      {"Gate Volume=70%", 37, 0.7},
      {"FD1 Volume=-6 dB", 38, 0.5012},
      {"Gate Decay=1 step", 35, 0.5},
      {"Gate Attack=0.5 steps", 34, 0.5},
      {"FD1 Pan=right", 46, 0.0},
      {"fd1 lfo cutoff=25%", 48, 0.25},
      {"FD2 LFO->Pan=0.125", 59, 0.125},
  };
  for (const auto& c : cases) {
    const Result r = Run({"--set", c.set, "--info"});
    ASSERT_EQ(r.status, 0) << c.set << ": " << r.err;
    EXPECT_NEAR(InfoValue(r.out, c.slot), c.value, 5e-5) << c.set;
  }
  const struct {
    const char* set;
    const char* message;
  } mistakes[] = {
      {"FD1 Cutof=0.3", "unknown parameter \"FD1 Cutof\"; did you mean \"FD1 Cutoff\", \"FD2 Cutoff\"?"},
      {"reserved=0.3", "unknown parameter \"reserved\""},
      {"FD1 Delay Time=5/4", "\"FD1 Delay Time\": outside 0..1: 5/4"},
      {"LFO1 Period=12", "outside 0 to 10 bars: 12"},
      {"Gate Volume=+3dB", "above 0 dB"},
      {"Step3=maybe", "\"Step3\": not a value: maybe"},
      {"FD1 Cutoff=150%", "outside 0..100%"},
  };
  for (const auto& c : mistakes) {
    const Result r = Run({"--set", c.set, "--info"});
    EXPECT_NE(r.status, 0) << c.set;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.set << ": " << r.err;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
  }
}

TEST_F(RenderCli, PresetsRoundTripAndApplyInOrder) {
  // Values with no neat unit form must come back exact, as must those that
  // a careless writer would make ambiguous (a period of exactly 1 is 10
  // bars, not 1 bar).
  const std::vector<std::string> sets = {"--set", "FD1 Cutoff=0.123456789", "--set", "LFO1 Period=0.9999999",
                                         "--set", "LFO2 Period=10 bars",    "--set", "FD2 Pan=0.3",
                                         "--set", "Gate Volume=-3 dB",      "--set", "Step7=0.6",
                                         "--set", "FD2 Delay Time=1/3"};
  std::vector<std::string> args = sets;
  args.insert(args.end(), {"--save-preset", "a.preset"});
  Result r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "plonkrift-render.wav")) << "saving alone renders nothing";
  const std::string saved = Slurp(dir / "a.preset");
  for (const char* line : {"\nStep3 = off\n", "\nStep5 = on\n", "\nFD1 Filter Type = HP\n",
                           "\nGate Volume = ", "\nLFO2 Period = 10 bars\n", "\nFD1 Delay Time = 1/4 beat\n"})
    EXPECT_NE(saved.find(line), std::string::npos) << line << "\n" << saved;
  ASSERT_EQ(Run({"--preset", "a.preset", "--save-preset", "b.preset"}).status, 0);
  EXPECT_EQ(Slurp(dir / "b.preset"), saved);
  // The preset sounds as the settings it was saved from.
  args = sets;
  args.insert(args.end(), {"--tail", "0", "-o", "set.wav"});
  ASSERT_EQ(Run(args).status, 0);
  ASSERT_EQ(Run({"--preset", "a.preset", "--tail", "0", "-o", "preset.wav"}).status, 0);
  EXPECT_TRUE(Slurp(dir / "set.wav") == Slurp(dir / "preset.wav"));

  // Later settings win, whichever way they come.
  std::ofstream(dir / "p.preset") << "# a comment\n\n  gate volume = 20%   # trailing comment\nStep2=on\n";
  r = Run({"--set", "Gate Volume=90%", "--preset", "p.preset", "--set", "Step2=off", "--info"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NEAR(InfoValue(r.out, 37), 0.2, 1e-6);
  EXPECT_EQ(InfoValue(r.out, 2), 0.0);
  std::ofstream(dir / "bad.preset") << "Step1 = on\n\nFD1 Cutof = 0.3\n";
  r = Run({"--preset", "bad.preset", "-o", "x.wav"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("bad.preset:3: unknown parameter \"FD1 Cutof\""), std::string::npos) << r.err;
  EXPECT_EQ(Lines(r.err), 1u);
}

TEST_F(RenderCli, ShippedPresetsLoadAndEachSetsTheWholeEffect) {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(PLONKRIFT_PRESETS)) {
    if (entry.path().extension() != ".preset") continue;
    ++count;
    const std::string name = entry.path().filename().string();
    // Every parameter set, whatever program it is applied over.
    Result r = Run({"--program", "0", "--preset", entry.path().string(), "--save-preset", "a.preset"});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    r = Run({"--set", "Step2=0.3", "--set", "Gate Attack=0.3", "--set", "FD1 Volume=0.3", "--set",
             "LFO1 Period=0.3", "--set", "FD2 Reso=0.3", "--preset", entry.path().string(), "--save-preset",
             "b.preset"});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(Slurp(dir / "a.preset"), Slurp(dir / "b.preset")) << name << " leaves some parameter unset";
    r = Run({"--preset", entry.path().string(), "-o", "out.wav"});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_TRUE(r.err.empty()) << name << " clips the demo: " << r.err;
  }
  EXPECT_GE(count, 3u);
}

TEST_F(RenderCli, MistakesGiveOneClearLineAndAFailingExit) {
  std::ofstream(dir / "notes.txt") << "not a sound\n";
  fs::create_directories(dir / "folder.wav");
  Write(dir / "four.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 4, std::vector<float>(400, 0.0f));
  const std::string out = "o.wav";
  // A mistake on the command line exits 2, a failure while working 1.
  constexpr int kWork = 1, kUsage = 2;
  const struct {
    std::vector<std::string> args;
    const char* message;
    int status;
  } cases[] = {
      {{"missing.wav", "-o", out}, "does not exist", kWork},
      {{".", "-o", out}, "cannot read input file", kWork},
      {{"notes.txt", "-o", out}, "unsupported format", kWork},
      {{"four.wav", "-o", out}, "4 channels", kWork},
      {{"--set", "FD1 Cutoff=1.5", "-o", out}, "outside 0..1", kUsage},
      {{"--set", "FD1 Cutoff=abc", "-o", out}, "not a value: abc", kUsage},
      {{"--set", "FD1 Cutoff", "-o", out}, "NAME=VALUE", kUsage},
      {{"--tempo", "0", "-o", out}, "--tempo: out of range: 0 (give 1 to 1000 BPM)", kUsage},
      {{"--tempo", "nan", "-o", out}, "--tempo: not a number: nan", kUsage},
      {{"--tempo=abc", "-o", out}, "--tempo: not a number: abc", kUsage},
      {{"--tempo", "2000", "-o", out}, "out of range", kUsage},
      {{"--rate", "100", "-o", out}, "--rate: out of range: 100", kUsage},
      {{"--rate", "1e9", "-o", out}, "--rate", kUsage},
      {{"--block", "0", "-o", out}, "--block: out of range", kUsage},
      {{"--program", "8", "-o", out}, "--program: out of range: 8", kUsage},
      {{"--bits", "8", "-o", out}, "--bits: not supported: 8", kUsage},
      {{"--tail", "-1", "-o", out}, "--tail: out of range", kUsage},
      {{"--gain", "3", "--normalize", "-1", "-o", out}, "exclude each other", kUsage},
      {{"--tempo"}, "--tempo needs a value", kUsage},
      {{"-o"}, "-o needs a value", kUsage},
      {{"--info=1"}, "--info takes no value", kUsage},
      {{"--help=1"}, "--help takes no value", kUsage},
      // The option is named, not the word getopt_long moved before it.
      {{"notes.txt", "--tempo"}, "--tempo needs a value", kUsage},
      {{"--frobnicate"}, "unknown option '--frobnicate'", kUsage},
      {{"a.wav", "b.wav"}, "more than one input file", kUsage},
      {{"--plugin", "none.so", "-o", out}, "cannot load the plug-in", kWork},
      {{"-o", "no-such-dir/x.wav"}, "cannot write", kWork},
      // The output is checked before any input is read.
      {{"-", "-o", "no-such-dir/x.wav"}, "cannot write 'no-such-dir/x.wav'", kWork},
      {{"-o", "folder.wav"}, "it is a folder", kWork},
  };
  for (const auto& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("plonkrift-render: ", 0), 0u) << r.err;
  }
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"notes.txt", "four.wav", "folder.wav"}))
      << "nothing is written after a mistake";
}

}  // namespace
