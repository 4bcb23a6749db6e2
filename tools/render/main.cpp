// plonkrift-render: loads the plug-in library through its entry as a host
// does, plays a song position over an input (a file, standard input or the
// built-in demo) at a given tempo and sample rate, lets the echoes ring out,
// and writes the processed audio block by block.
//
// main runs the stages of a render in order, from the command line to the
// report; each answers the exit status when the run ends there, and one
// cleanup releases what the run holds however it ended.

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plugin/ParameterText.h"
#include "plugin/PresetText.h"
#include "tools/cli/CommandLine.h"
#include "tools/hostkit/PluginHost.h"
#include "tools/render/AudioFiles.h"
#include "tools/render/DemoSignal.h"
#include "tools/render/PluginSearch.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SafeFile.h"

namespace {

constexpr const char* kTool = "plonkrift-render";
constexpr int kNumSlots = 70;
// The echo tail ends once the output has stayed below this for a bar.
constexpr double kQuietDb = -90.0;
constexpr int kMaxTailBars = 32;

// A stage's answer when the run goes on to the next one.
constexpr int kGoOn = -1;

// A failure while working: exit 1.
int Fail(const std::string& message) {
  return cli::Say(kTool, message, 1);
}

// A mistake on the command line: exit 2, as the other tools do.
int Mistake(const std::string& message) {
  return cli::Say(kTool, message, cli::kUsageStatus);
}

void Warn(const std::string& message) {
  cli::Say(kTool, "warning: " + message, 0);
}

std::string FourChars(VstInt32 id) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((id >> shift) & 0xFF);
    text += (c >= 32 && c < 127) ? c : '?';
  }
  return text;
}

std::string FlagNames(VstInt32 flags) {
  static const std::pair<VstInt32, const char*> kNames[] = {{effFlagsHasEditor, "HasEditor"},
                                                            {effFlagsHasClip, "HasClip"},
                                                            {effFlagsHasVu, "HasVu"},
                                                            {effFlagsCanMono, "CanMono"},
                                                            {effFlagsCanReplacing, "CanReplacing"},
                                                            {effFlagsProgramChunks, "ProgramChunks"},
                                                            {effFlagsIsSynth, "IsSynth"},
                                                            {effFlagsNoSoundInStop, "NoSoundInStop"}};
  std::string text;
  for (const auto& [bit, name] : kNames) {
    if ((flags & bit) == 0) continue;
    if (!text.empty()) text.append(" ");
    text.append(name);
  }
  return text;
}

void PrintInfo(hostkit::PluginHost& host, const std::string& path) {
  AEffect* e = host.effect();
  std::printf("plug-in:    %s\n", path.c_str());
  std::printf("name:       %s\n", host.text(effGetEffectName).c_str());
  std::printf("vendor:     %s\n", host.text(effGetVendorString).c_str());
  std::printf("product:    %s\n", host.text(effGetProductString).c_str());
  std::printf("version:    %ld (vendor version %ld, VST %ld)\n", static_cast<long>(e->version),
              static_cast<long>(host.dispatch(effGetVendorVersion)),
              static_cast<long>(host.dispatch(effGetVstVersion)));
  std::printf("unique id:  '%s' (0x%08X)\n", FourChars(e->uniqueID).c_str(),
              static_cast<unsigned>(e->uniqueID));
  std::printf("programs:   %d\nparameters: %d\ninputs:     %d\noutputs:    %d\n", e->numPrograms,
              e->numParams, e->numInputs, e->numOutputs);
  std::printf("flags:      0x%X (%s)\n", static_cast<unsigned>(e->flags), FlagNames(e->flags).c_str());
  std::printf(
      "\nparameters (index, name, value, display, label; the value in its own units, what it does, "
      "[what --set takes]):\n");
  for (int i = 0; i < e->numParams; ++i) {
    const float value = host.getParameter(i);
    std::printf("%3d  %-16s %.4f  %8s %s", i, host.text(effGetParamName, i).c_str(), value,
                host.text(effGetParamDisplay, i).c_str(), host.text(effGetParamLabel, i).c_str());
    const parameters::ParameterMeaning meaning = parameters::Describe(i);
    if (!meaning.meaning.empty())
      std::printf("  %-10s %s [%s]", parameters::FormatValue(i, value).c_str(), meaning.meaning.c_str(),
                  meaning.accepts.c_str());
    std::printf("\n");
  }
  std::printf("\nprograms:\n");
  for (int i = 0; i < e->numPrograms; ++i) {
    char name[256] = {};
    host.dispatch(effGetProgramNameIndexed, i, 0, name);
    name[sizeof name - 1] = '\0';
    std::printf("%3d  %s\n", i, name);
  }
}

std::string Decibels(double level) {
  if (!(level > 0.0)) return "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f", 20.0 * std::log10(level));
  return text;
}

// The output's peak and, for integer formats, the samples beyond full scale.
struct Meter {
  float peak = 0.0f;
  std::size_t clipped = 0, samples = 0;
  void add(const float* samples_, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const float magnitude = std::fabs(samples_[i]);
      peak = std::max(peak, magnitude);
      clipped += magnitude > 1.0f ? 1 : 0;
    }
    samples += count;
  }
};

// A progress bar on standard error, shown only on a terminal and only once
// the job has run for a second.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total), tty_(isatty(STDERR_FILENO) != 0) {}
  void update(std::size_t done) {
    if (!tty_ || total_ == 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    done = std::min(done, total_);
    const int width = 40;
    const int filled = static_cast<int>(width * done / total_);
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), static_cast<int>(100 * done / total_));
    std::fflush(stderr);
  }
  // Clears the bar so what follows starts on a clean line.
  void finish() {
    if (shown_) std::fprintf(stderr, "\r%*s\r", 50, "");
    shown_ = false;
  }
  ~Progress() { finish(); }

 private:
  std::size_t total_;
  bool tty_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_{};
};

// Where a result goes: a file written whole or not at all, or standard output.
struct Destination {
  std::string name;  // as given
  render::OutputFormat format;
  render::PendingFile file;
  SNDFILE* sound = nullptr;
  int fd() const { return name == "-" ? STDOUT_FILENO : file.fd(); }
  bool prepare(std::string& error) {
    if (name == "-") {
      if (isatty(STDOUT_FILENO))
        return error = "standard output is a terminal: redirect it or give -o FILE", false;
      return true;
    }
    return file.create(name, error);
  }
  bool open(int rate, std::optional<sf_count_t> maxFrames, std::string& error) {
    sound = render::OpenOutput(fd(), name, format, rate, maxFrames, error);
    return sound != nullptr;
  }
  bool write(const float* interleaved, std::size_t frames, std::string& error) {
    const auto written = sf_writef_float(sound, interleaved, static_cast<sf_count_t>(frames));
    if (written == static_cast<sf_count_t>(frames)) return true;
    return error = "cannot write '" + name + "': " + render::SoundError(sound), false;
  }
  bool finish(std::string& error) {
    const int status = sf_close(sound);
    sound = nullptr;
    if (status != 0) return error = "cannot write '" + name + "': " + sf_error_number(status), false;
    if (name == "-") return true;
    if (format.major == SF_FORMAT_WAV || format.major == SF_FORMAT_RF64)
      render::ClearPeakTimeStamp(file.fd());
    return file.commit(error);
  }
  // Closes the sound file if it is open; the pending file stays until it
  // is committed or discarded.
  void close() {
    if (sound != nullptr) sf_close(sound);
    sound = nullptr;
  }
  ~Destination() { close(); }
};

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t put = ::write(fd, bytes, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool ReadAll(int fd, void* data, std::size_t size) {
  char* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = ::read(fd, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// Everything one run holds, from the command line to the report.
struct Run {
  int argc = 0;
  char** argv = nullptr;
  render::Options options;

  // The plug-in, and the time record it reads through its host.
  std::string path;
  std::unique_ptr<hostkit::PluginLibrary> library;
  VstTimeInfo time{};
  std::unique_ptr<hostkit::PluginHost> host;
  bool resumed = false;  // effMainsChanged on, not yet off

  // Parameters by the names the host sees, from presets and --set in order.
  std::optional<parameters::ParameterNames> names;
  std::vector<std::pair<int, float>> sets;

  // What is written: the audio (unless only a preset is saved), the dry
  // input, the preset, and --normalize's scratch file.
  bool renders = true;
  Destination out, dry;
  render::PendingFile presetFile;
  int scratch = -1;

  // The input: a file, standard input or the demo, read block by block.
  render::Input file;
  std::unique_ptr<render::Demo> demo;
  double rate = 0.0;
  std::optional<sf_count_t> inputFrames;

  // The take as it is played.
  sf_count_t barFrames = 1, tailLimit = 0;
  float gain = 1.0f, quiet = 0.0f;
  std::vector<float> inL, inR, outL, outR, interleaved;
  Meter meter;
  std::unique_ptr<Progress> progress;
  sf_count_t at = 0, inputEnd = -1, quietRun = 0;
  bool inputDone = false, tailQuiet = false, over = false;
  std::size_t blockIndex = 0;
  double normalizedBy = 0.0;
};

void ApplyParameters(Run& run) {
  if (run.options.program) run.host->dispatch(effSetProgram, 0, *run.options.program);
  for (const auto& [index, value] : run.sets) run.host->setParameter(index, value);
}

void Interleave(std::vector<float>& interleaved, const float* left, const float* right, std::size_t frames,
                float scale) {
  for (std::size_t k = 0; k < frames; ++k) {
    interleaved[2 * k] = left[k] * scale;
    interleaved[2 * k + 1] = right[k] * scale;
  }
}

// --- the stages, in the order main runs them ---------------------------------------

int ReadOptions(Run& run) {
  if (const auto status =
          cli::ParseCommandLine(kTool, render::Usage(), render::Parse, run.argc, run.argv, run.options))
    return *status;
  render::RemoveTemporaryFilesOnSignals();
  return kGoOn;
}

int LoadPlugin(Run& run) {
  std::string error;
  if (!render::FindPlugin(run.options.plugin, run.path, error)) return Fail(error);
  run.library = std::make_unique<hostkit::PluginLibrary>(run.path);
  if (!run.library->ok()) return Fail("cannot load the plug-in '" + run.path + "': " + run.library->error());
  run.host = std::make_unique<hostkit::PluginHost>();
  run.host->timeInfo = &run.time;
  if (run.host->create(run.library->entry()) == nullptr)
    return Fail("the plug-in '" + run.path + "' made no instance");
  return kGoOn;
}

int ReadParameters(Run& run) {
  std::vector<std::string> slotNames(kNumSlots);
  for (int i = 0; i < kNumSlots; ++i) slotNames[i] = run.host->text(effGetParamName, i);
  run.names.emplace(slotNames);
  std::string error;
  for (const auto& setting : run.options.settings) {
    if (setting.preset) {
      if (!parameters::ReadPreset(*run.names, setting.text, run.sets, error)) return Fail(error);
    } else {
      int slot = 0;
      float value = 0.0f;
      if (!parameters::ParseAssignment(*run.names, setting.text, slot, value, error))
        return Mistake("--set: " + error);
      run.sets.emplace_back(slot, value);
    }
  }
  return kGoOn;
}

int ShowInfo(Run& run) {
  if (!run.options.info) return kGoOn;
  ApplyParameters(run);
  PrintInfo(*run.host, run.path);
  return 0;
}

// Every file to be written is checked and opened before anything is
// rendered; --type goes with whichever of them is standard output.
int OpenOutputs(Run& run) {
  const render::Options& options = run.options;
  std::string error;
  run.renders = options.savePreset.empty() || !options.input.empty() || options.outputGiven;
  if (!options.savePreset.empty() && !run.presetFile.create(options.savePreset, error)) return Fail(error);
  if (!run.renders) return kGoOn;
  Destination &out = run.out, &dry = run.dry;
  out.name = options.output;
  dry.name = options.dry;
  const bool typeForDry = options.dry == "-";
  if (!render::ChooseFormat(out.name, typeForDry ? "" : options.type, options.bits, out.format, error))
    return Fail(error);
  if (!dry.name.empty()) {
    if (!render::ChooseFormat(dry.name, typeForDry ? options.type : "", options.bits, dry.format, error))
      return Fail(error);
    if (render::SameFile(out.name, dry.name))
      return Fail("--dry and --output name the same file: '" + dry.name + "'");
  }
  if (!out.prepare(error)) return Fail(error);
  if (!dry.name.empty() && !dry.prepare(error)) return Fail(error);
  return kGoOn;
}

int OpenInput(Run& run) {
  const render::Options& options = run.options;
  if (!run.renders) {
    run.rate = 44100.0;
  } else if (options.input.empty()) {
    run.demo = std::make_unique<render::Demo>(options.rate.value_or(44100.0), options.tempo);
    run.rate = run.demo->rate();
    run.inputFrames = static_cast<sf_count_t>(run.demo->frames());
  } else {
    std::string error;
    if (!run.file.open(options.input, error)) return Fail(error);
    run.rate = run.file.rate();
    run.inputFrames = run.file.frames();
    if (run.rate < 8000.0 || run.rate > 384000.0)
      return Fail("sample rate " + std::to_string(static_cast<long>(run.rate)) + " Hz of '" + options.input +
                  "' is out of range: 8000 to 384000 Hz");
  }
  return kGoOn;
}

// Starts the instance as a host does.
int StartPlugin(Run& run) {
  hostkit::PluginHost& host = *run.host;
  host.dispatch(effOpen);
  host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(run.rate));
  host.dispatch(effSetBlockSize, 0, run.options.block);
  ApplyParameters(run);
  return kGoOn;
}

int SavePreset(Run& run) {
  const std::string& name = run.options.savePreset;
  if (name.empty()) return kGoOn;
  std::vector<float> values(kNumSlots);
  for (int i = 0; i < kNumSlots; ++i) values[i] = run.host->getParameter(i);
  const std::string text = parameters::PresetText(*run.names, values);
  if (!WriteAll(run.presetFile.fd(), text.data(), text.size()))
    return Fail("cannot write '" + name + "': " + std::strerror(errno));
  std::string error;
  if (!run.presetFile.commit(error)) return Fail(error);
  if (run.renders) return kGoOn;
  std::printf("saved the parameters to %s\n", name.c_str());
  return 0;
}

// The sound files are begun at the input's rate, --normalize gets its
// scratch file, and the instance is switched on.
int StartWriting(Run& run) {
  const render::Options& options = run.options;
  // The tail: a fixed number of bars, or until the output has been quiet
  // for a bar (at most 32 bars).
  run.barFrames = std::max<sf_count_t>(1, std::llround(240.0 / options.tempo * run.rate));
  run.tailLimit = options.tail ? std::llround(*options.tail * 240.0 / options.tempo * run.rate)
                               : kMaxTailBars * run.barFrames;
  const std::optional<sf_count_t> maxFrames =
      run.inputFrames ? std::optional<sf_count_t>(*run.inputFrames + run.tailLimit) : std::nullopt;
  const int fileRate = static_cast<int>(std::lround(run.rate));
  std::string error;
  if (!run.out.open(fileRate, maxFrames, error)) return Fail(error);
  if (!run.dry.name.empty() && !run.dry.open(fileRate, maxFrames, error)) return Fail(error);

  // --normalize needs the whole output's peak: the effect's output goes to a
  // nameless scratch file first and is scaled on the way to the output.
  if (options.normalize) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = run.out.name != "-" ? render::FolderOf(run.out.file.target())
                                                   : (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
    run.scratch = render::AnonymousFile(folder);
    if (run.scratch < 0)
      return Fail("cannot make a scratch file in '" + folder + "': " + std::strerror(errno));
  }
  run.gain = static_cast<float>(std::pow(10.0, options.gain.value_or(0.0) / 20.0));
  run.quiet = static_cast<float>(std::pow(10.0, kQuietDb / 20.0));
  const auto block = static_cast<std::size_t>(options.block);
  for (std::vector<float>* buffer : {&run.inL, &run.inR, &run.outL, &run.outR}) buffer->resize(block);
  run.interleaved.resize(2 * block);
  run.progress = std::make_unique<Progress>(run.inputFrames ? static_cast<std::size_t>(*run.inputFrames) : 0);
  run.host->dispatch(effMainsChanged, 0, 1);
  run.resumed = true;
  return kGoOn;
}

// One block through the plug-in: the input, or silence after it, played at
// its song position, the output metered and written. Sets over at the end
// of the take.
int PlayBlock(Run& run) {
  const render::Options& options = run.options;
  const auto block = static_cast<std::size_t>(options.block);
  std::size_t count = block;
  if (!run.inputDone) {
    const std::size_t got = run.demo ? run.demo->read(run.inL.data(), run.inR.data(), block)
                                     : run.file.read(run.inL.data(), run.inR.data(), block);
    if (got < block) {
      run.inputDone = true;
      run.inputEnd = run.at + static_cast<sf_count_t>(got);
      std::fill(run.inL.begin() + static_cast<std::ptrdiff_t>(got), run.inL.end(), 0.0f);
      std::fill(run.inR.begin() + static_cast<std::ptrdiff_t>(got), run.inR.end(), 0.0f);
    }
  } else {
    std::fill(run.inL.begin(), run.inL.end(), 0.0f);
    std::fill(run.inR.begin(), run.inR.end(), 0.0f);
  }
  // A fixed length ends where it ends; the quiet tail is found sample by
  // sample in whole blocks, as a host would play them.
  if (run.inputDone && options.tail)
    count = static_cast<std::size_t>(std::min<sf_count_t>(count, run.inputEnd + run.tailLimit - run.at));
  if (count == 0) {
    run.over = true;
    return kGoOn;
  }

  VstTimeInfo& time = run.time;
  time = VstTimeInfo{};
  time.samplePos = static_cast<double>(run.at);
  time.sampleRate = run.rate;
  time.ppqPos = options.start + static_cast<double>(run.at) / run.rate * options.tempo / 60.0;
  time.tempo = options.tempo;
  time.timeSigNumerator = 4;
  time.timeSigDenominator = 4;
  time.flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
  if (options.playing) time.flags |= kVstTransportPlaying | (run.at == 0 ? kVstTransportChanged : 0);
  float* inputs[2] = {run.inL.data(), run.inR.data()};
  float* outputs[2] = {run.outL.data(), run.outR.data()};
  run.host->processReplacing(inputs, outputs, static_cast<VstInt32>(count));

  std::size_t keep = count;
  if (run.inputDone && !options.tail) {
    for (std::size_t k = static_cast<std::size_t>(std::max<sf_count_t>(0, run.inputEnd - run.at)); k < count;
         ++k) {
      run.quietRun =
          std::fabs(run.outL[k]) < run.quiet && std::fabs(run.outR[k]) < run.quiet ? run.quietRun + 1 : 0;
      const sf_count_t tail = run.at + static_cast<sf_count_t>(k) + 1 - run.inputEnd;
      if (run.quietRun >= run.barFrames || tail >= run.tailLimit) {
        run.tailQuiet = run.quietRun >= run.barFrames;
        keep = k + 1;
        // Also when the tail ends on the block's last frame (always, at
        // one frame a block): the render is over.
        run.over = true;
        break;
      }
    }
  }

  std::string error;
  if (run.scratch >= 0) {
    Interleave(run.interleaved, run.outL.data(), run.outR.data(), keep, 1.0f);
    run.meter.add(run.interleaved.data(), 2 * keep);
    if (!WriteAll(run.scratch, run.interleaved.data(), 2 * keep * sizeof(float)))
      return Fail("cannot write the scratch file for --normalize: " + std::string(std::strerror(errno)));
  } else {
    Interleave(run.interleaved, run.outL.data(), run.outR.data(), keep, run.gain);
    run.meter.add(run.interleaved.data(), 2 * keep);
    if (!run.out.write(run.interleaved.data(), keep, error)) return Fail(error);
  }
  if (!run.dry.name.empty()) {
    Interleave(run.interleaved, run.inL.data(), run.inR.data(), keep, 1.0f);
    if (!run.dry.write(run.interleaved.data(), keep, error)) return Fail(error);
  }
  run.at += static_cast<sf_count_t>(keep);
  run.progress->update(static_cast<std::size_t>(run.at));
  // The host kit records every request; a long job at small blocks must
  // not pile them up.
  if (run.blockIndex++ % 4096 == 4095) run.host->clearCalls();
  return kGoOn;
}

int PlayInput(Run& run) {
  while (!run.inputDone && !run.over)
    if (const int status = PlayBlock(run); status != kGoOn) return status;
  return kGoOn;
}

// After the input: silence until the output has been quiet for a bar, or
// for the bars --tail asks.
int PlayTail(Run& run) {
  while (!run.over)
    if (const int status = PlayBlock(run); status != kGoOn) return status;
  run.progress->finish();
  run.host->dispatch(effMainsChanged, 0, 0);
  run.resumed = false;
  return kGoOn;
}

// --normalize: the output read back from the scratch file, scaled so its
// peak is at the level asked.
int Normalize(Run& run) {
  if (run.scratch < 0) return kGoOn;
  const float target = static_cast<float>(std::pow(10.0, *run.options.normalize / 20.0));
  const float peak = run.meter.peak;
  float scale = 1.0f;
  if (peak > 0.0f) {
    scale = static_cast<float>(static_cast<double>(target) / peak);
    // The scaled peak must not pass the target by a rounding.
    while (peak * scale > target) scale = std::nextafter(scale, 0.0f);
  }
  run.normalizedBy = 20.0 * std::log10(scale);
  run.meter = Meter{};
  if (lseek(run.scratch, 0, SEEK_SET) != 0) return Fail("cannot read the scratch file back");
  const auto block = static_cast<sf_count_t>(run.options.block);
  std::string error;
  for (sf_count_t done = 0; done < run.at;) {
    const auto frames = static_cast<std::size_t>(std::min<sf_count_t>(block, run.at - done));
    if (!ReadAll(run.scratch, run.interleaved.data(), 2 * frames * sizeof(float)))
      return Fail("cannot read the scratch file back");
    for (std::size_t i = 0; i < 2 * frames; ++i) run.interleaved[i] *= scale;
    run.meter.add(run.interleaved.data(), 2 * frames);
    if (!run.out.write(run.interleaved.data(), frames, error)) return Fail(error);
    done += static_cast<sf_count_t>(frames);
  }
  return kGoOn;
}

// The files take their targets' places.
int Finish(Run& run) {
  std::string error;
  if (!run.dry.name.empty() && !run.dry.finish(error)) return Fail(error);
  if (!run.out.finish(error)) return Fail(error);
  return kGoOn;
}

// A report for the user; on standard error when standard output carries
// the audio.
int Report(Run& run) {
  FILE* report = run.out.name == "-" ? stderr : stdout;
  const double rate = run.rate;
  const sf_count_t inputLength = run.inputEnd >= 0 ? std::min(run.inputEnd, run.at) : run.at;
  std::string tailText;
  if (run.at > inputLength) {
    char text[128];
    std::snprintf(text, sizeof text, " and a %.2f s tail%s", static_cast<double>(run.at - inputLength) / rate,
                  run.options.tail ? ""
                  : run.tailQuiet  ? " (until the output stayed below -90 dBFS for a bar)"
                                   : " (cut at 32 bars: the echoes still sound)");
    tailText = text;
  }
  std::fprintf(report, "rendered %.2f s%s at %ld Hz, %.6g BPM, to %s (%s)\n",
               static_cast<double>(inputLength) / rate, tailText.c_str(), std::lround(rate),
               run.options.tempo, run.out.name.c_str(), run.out.format.describe().c_str());
  const Meter& meter = run.meter;
  std::string levels = "peak " + Decibels(meter.peak) + " dBFS";
  if (run.scratch >= 0)
    levels += ", normalized by " + Decibels(std::pow(10.0, run.normalizedBy / 20.0)) + " dB";
  if (run.out.format.integer()) levels += ", " + std::to_string(meter.clipped) + " samples clipped";
  std::fprintf(report, "%s\n", levels.c_str());
  if (!run.demo) {
    if (const std::string note = run.file.shortfall(); !note.empty()) Warn(note);
  }
  if (meter.peak > 1.0f) {
    if (run.out.format.integer())
      Warn("the output peaks at " + Decibels(meter.peak) + " dBFS: " + std::to_string(meter.clipped) +
           " samples clipped; lower it with --gain or --normalize");
    else
      Warn("the output peaks at " + Decibels(meter.peak) +
           " dBFS, above full scale; lower it with --gain or --normalize");
  }
  return 0;
}

// The one way out, whichever stage the run ended at: the progress bar
// cleared, the files closed (a temporary file removed, an earlier file left
// as it was), the instance switched off and closed, the library let go.
int Cleanup(Run& run, int status) {
  if (run.progress) run.progress->finish();
  if (run.scratch >= 0) close(run.scratch);
  run.scratch = -1;
  for (Destination* destination : {&run.out, &run.dry}) {
    destination->close();
    destination->file.discard();
  }
  run.presetFile.discard();
  if (run.host) {
    if (run.resumed) run.host->dispatch(effMainsChanged, 0, 0);
    run.host->close();
  }
  run.host.reset();
  run.library.reset();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using Stage = int (*)(Run&);
  constexpr Stage kStages[] = {ReadOptions, LoadPlugin,  ReadParameters, ShowInfo,     OpenOutputs,
                               OpenInput,   StartPlugin, SavePreset,     StartWriting, PlayInput,
                               PlayTail,    Normalize,   Finish,         Report};
  Run run;
  run.argc = argc;
  run.argv = argv;
  int status = kGoOn;
  for (const Stage stage : kStages)
    if ((status = stage(run)) != kGoOn) break;
  return Cleanup(run, status);
}
