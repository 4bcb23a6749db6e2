// Peak memory of plonkrift-render on long files: a render must stream, so
// its peak resident size stays the same whatever the length. The baseline in
// the same run is a plain libsndfile copy of the same file in the same block
// size (this program started again with --copy), so the ratio says what the
// plug-in, the host kit and the renderer add to reading and writing a file.
//
//   bench_render [--minutes M ...] [benchmark options]
//
// Each case renders M minutes (default 1 and 10) of stereo 44.1 kHz float
// noise, once plainly and once with --normalize (its second pass). Counters:
// render_MiB and copy_MiB (peak resident sizes), ratio, and the wall time of
// both.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100, kBlock = 512;

fs::path Folder() {
  static const fs::path folder = [] {
    fs::path path = fs::temp_directory_path() / ("plonkrift-bench-render-" + std::to_string(getpid()));
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

// M minutes of stereo noise at -20 dBFS, made once per length.
fs::path Input(int minutes) {
  const fs::path path = Folder() / ("noise-" + std::to_string(minutes) + "min.wav");
  if (fs::exists(path)) return path;
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return {};
  std::vector<float> block(2 * 65536);
  std::uint32_t state = 1;
  for (sf_count_t left = static_cast<sf_count_t>(minutes) * 60 * kRate; left > 0;) {
    const sf_count_t n = std::min<sf_count_t>(left, 65536);
    for (sf_count_t i = 0; i < 2 * n; ++i) {
      state = state * 1664525u + 1013904223u;
      block[i] = (static_cast<float>(state >> 8) / 8388608.0f - 1.0f) * 0.1f;
    }
    sf_writef_float(file, block.data(), n);
    left -= n;
  }
  sf_close(file);
  return path;
}

struct Run {
  bool ok = false;
  double mib = 0.0, seconds = 0.0;
};

// Runs a program to its end: its own peak resident size and wall time.
Run Measure(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  Run run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.mib = usage.ru_maxrss / 1024.0;  // KiB
  return run;
}

// The baseline: read and write the file in blocks with libsndfile alone.
int Copy(const char* from, const char* to) {
  SF_INFO info{};
  SNDFILE* in = sf_open(from, SFM_READ, &info);
  if (in == nullptr) return 1;
  SF_INFO outInfo = info;
  SNDFILE* out = sf_open(to, SFM_WRITE, &outInfo);
  if (out == nullptr) return 1;
  std::vector<float> block(static_cast<std::size_t>(kBlock) * info.channels);
  for (sf_count_t n; (n = sf_readf_float(in, block.data(), kBlock)) > 0;)
    sf_writef_float(out, block.data(), n);
  sf_close(in);
  return sf_close(out) == 0 ? 0 : 1;
}

std::string self;

void BM_RenderPeakMemory(benchmark::State& state) {
  const int minutes = static_cast<int>(state.range(0));
  const bool normalize = state.range(1) != 0;
  const fs::path input = Input(minutes);
  if (input.empty()) return state.SkipWithError("cannot write the input file");
  const std::string copyOut = (Folder() / "copy.wav").string(),
                    renderOut = (Folder() / "render.wav").string();
  Run copy, render;
  for (auto _ : state) {
    copy = Measure({self, "--copy", input.string(), copyOut});
    std::vector<std::string> args = {PLONKRIFT_RENDER,       input.string(), "--block",
                                     std::to_string(kBlock), "-o",           renderOut};
    if (normalize) args.insert(args.end(), {"--normalize", "-1"});
    render = Measure(args);
  }
  fs::remove(copyOut);
  fs::remove(renderOut);
  if (!copy.ok || !render.ok) return state.SkipWithError("a run failed");
  state.counters["render_MiB"] = render.mib;
  state.counters["copy_MiB"] = copy.mib;
  state.counters["ratio"] = render.mib / copy.mib;
  state.counters["render_s"] = render.seconds;
  state.counters["copy_s"] = copy.seconds;
  std::printf(
      "%2d min%s: render %.1f MiB, libsndfile copy %.1f MiB, ratio %.2f (limit 64 MiB: %s); %.1f s vs %.1f "
      "s\n",
      minutes, normalize ? " --normalize" : "            ", render.mib, copy.mib, render.mib / copy.mib,
      render.mib < 64.0 ? "under" : "OVER", render.seconds, copy.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--copy") == 0) return Copy(argv[2], argv[3]);
  self = fs::canonical("/proc/self/exe").string();
  // The library of this tree, whatever else is installed.
  setenv("PLONKRIFT_PLUGIN", PLONKRIFT_PLUGIN_BUILT, 1);
  std::vector<int> minutes;
  std::vector<char*> rest = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
      minutes.push_back(std::atoi(argv[++i]));
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (minutes.empty()) minutes = {1, 10};
  auto* bench = benchmark::RegisterBenchmark("BM_RenderPeakMemory", BM_RenderPeakMemory);
  for (int m : minutes)
    for (int normalize : {0, 1}) bench->Args({m, normalize});
  bench->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(Folder(), ignored);
  return 0;
}
