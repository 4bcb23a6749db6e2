// plonkrift-render: loads the plug-in library through its entry as a host
// does, plays a song position over an input (a file, standard input or the
// built-in demo) at a given tempo and sample rate, lets the echoes ring out,
// and writes the processed audio block by block.

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plugin/ParameterText.h"
#include "plugin/PresetText.h"
#include "tools/hostkit/PluginHost.h"
#include "tools/render/AudioFiles.h"
#include "tools/render/DemoSignal.h"
#include "tools/render/PluginSearch.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SafeFile.h"

namespace {

constexpr int kNumSlots = 70;
// The echo tail ends once the output has stayed below this for a bar.
constexpr double kQuietDb = -90.0;
constexpr int kMaxTailBars = 32;

// A failure while working: exit 1.
int Fail(const std::string& message) {
  std::fprintf(stderr, "plonkrift-render: %s\n", message.c_str());
  return 1;
}

// A mistake on the command line: exit 2, as the other tools do.
int Mistake(const std::string& message) {
  std::fprintf(stderr, "plonkrift-render: %s\n", message.c_str());
  return 2;
}

void Warn(const std::string& message) {
  std::fprintf(stderr, "plonkrift-render: warning: %s\n", message.c_str());
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
  ~Destination() {
    if (sound != nullptr) sf_close(sound);
  }
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

}  // namespace

int main(int argc, char** argv) {
  render::Options options;
  std::string error;
  if (!render::Parse(argc, argv, options, error)) return Mistake(error);
  if (options.help) {
    std::fputs(render::Usage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("plonkrift-render %s\n", PLONKRIFT_VERSION);
    return 0;
  }
  render::RemoveTemporaryFilesOnSignals();

  std::string path;
  if (!render::FindPlugin(options.plugin, path, error)) return Fail(error);
  hostkit::PluginLibrary library(path);
  if (!library.ok()) return Fail("cannot load the plug-in '" + path + "': " + library.error());
  hostkit::PluginHost host;
  VstTimeInfo time{};
  host.timeInfo = &time;
  AEffect* effect = host.create(library.entry());
  if (effect == nullptr) return Fail("the plug-in '" + path + "' made no instance");

  // Parameters by the names the host sees, from presets and --set in order.
  std::vector<std::string> slotNames(kNumSlots);
  for (int i = 0; i < kNumSlots; ++i) slotNames[i] = host.text(effGetParamName, i);
  const parameters::ParameterNames names(slotNames);
  std::vector<std::pair<int, float>> sets;
  for (const auto& setting : options.settings) {
    if (setting.preset) {
      if (!parameters::ReadPreset(names, setting.text, sets, error)) return Fail(error);
    } else {
      int slot = 0;
      float value = 0.0f;
      if (!parameters::ParseAssignment(names, setting.text, slot, value, error))
        return Mistake("--set: " + error);
      sets.emplace_back(slot, value);
    }
  }
  const auto applyParameters = [&] {
    if (options.program) host.dispatch(effSetProgram, 0, *options.program);
    for (const auto& [index, value] : sets) host.setParameter(index, value);
  };
  if (options.info) {
    applyParameters();
    PrintInfo(host, path);
    return 0;
  }

  // Every file to be written is checked and opened before anything is
  // rendered; --type goes with whichever of them is standard output.
  const bool renders = options.savePreset.empty() || !options.input.empty() || options.outputGiven;
  render::PendingFile presetFile;
  if (!options.savePreset.empty() && !presetFile.create(options.savePreset, error)) return Fail(error);
  Destination out, dry;
  if (renders) {
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
  }

  // The input: a file, standard input or the demo, read block by block.
  render::Input file;
  std::unique_ptr<render::Demo> demo;
  double rate = 0.0;
  std::optional<sf_count_t> inputFrames;
  if (!renders) {
    rate = 44100.0;
  } else if (options.input.empty()) {
    demo = std::make_unique<render::Demo>(options.rate.value_or(44100.0), options.tempo);
    rate = demo->rate();
    inputFrames = static_cast<sf_count_t>(demo->frames());
  } else {
    if (!file.open(options.input, error)) return Fail(error);
    rate = file.rate();
    inputFrames = file.frames();
    if (rate < 8000.0 || rate > 384000.0)
      return Fail("sample rate " + std::to_string(static_cast<long>(rate)) + " Hz of '" + options.input +
                  "' is out of range: 8000 to 384000 Hz");
  }
  const auto readInput = [&](float* left, float* right, std::size_t count) {
    return demo ? demo->read(left, right, count) : file.read(left, right, count);
  };

  // Start the instance as a host does.
  host.dispatch(effOpen);
  host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  host.dispatch(effSetBlockSize, 0, options.block);
  applyParameters();

  if (!options.savePreset.empty()) {
    std::vector<float> values(kNumSlots);
    for (int i = 0; i < kNumSlots; ++i) values[i] = host.getParameter(i);
    const std::string text = parameters::PresetText(names, values);
    if (!WriteAll(presetFile.fd(), text.data(), text.size()))
      return Fail("cannot write '" + options.savePreset + "': " + std::strerror(errno));
    if (!presetFile.commit(error)) return Fail(error);
    if (!renders) {
      std::printf("saved the parameters to %s\n", options.savePreset.c_str());
      return 0;
    }
  }

  // The tail: a fixed number of bars, or until the output has been quiet
  // for a bar (at most 32 bars).
  const auto barFrames = std::max<sf_count_t>(1, std::llround(240.0 / options.tempo * rate));
  const sf_count_t tailLimit =
      options.tail ? std::llround(*options.tail * 240.0 / options.tempo * rate) : kMaxTailBars * barFrames;
  const std::optional<sf_count_t> maxFrames =
      inputFrames ? std::optional<sf_count_t>(*inputFrames + tailLimit) : std::nullopt;
  const int fileRate = static_cast<int>(std::lround(rate));
  if (!out.open(fileRate, maxFrames, error)) return Fail(error);
  if (!dry.name.empty() && !dry.open(fileRate, maxFrames, error)) return Fail(error);

  // --normalize needs the whole output's peak: the effect's output goes to a
  // nameless scratch file first and is scaled on the way to the output.
  int scratch = -1;
  if (options.normalize) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = out.name != "-" ? render::FolderOf(out.file.target())
                                               : (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
    scratch = render::AnonymousFile(folder);
    if (scratch < 0) return Fail("cannot make a scratch file in '" + folder + "': " + std::strerror(errno));
  }
  const float gain = static_cast<float>(std::pow(10.0, options.gain.value_or(0.0) / 20.0));

  host.dispatch(effMainsChanged, 0, 1);
  const auto block = static_cast<std::size_t>(options.block);
  std::vector<float> inL(block), inR(block), outL(block), outR(block), interleaved(2 * block);
  const float quiet = static_cast<float>(std::pow(10.0, kQuietDb / 20.0));
  Meter meter;
  Progress progress(inputFrames ? static_cast<std::size_t>(*inputFrames) : 0);
  sf_count_t at = 0, inputEnd = -1, quietRun = 0;
  bool inputDone = false, tailQuiet = false;
  const auto interleave = [&](const float* left, const float* right, std::size_t frames, float scale) {
    for (std::size_t k = 0; k < frames; ++k) {
      interleaved[2 * k] = left[k] * scale;
      interleaved[2 * k + 1] = right[k] * scale;
    }
  };
  for (std::size_t blockIndex = 0;; ++blockIndex) {
    std::size_t count = block;
    if (!inputDone) {
      const std::size_t got = readInput(inL.data(), inR.data(), block);
      if (got < block) {
        inputDone = true;
        inputEnd = at + static_cast<sf_count_t>(got);
        std::fill(inL.begin() + static_cast<std::ptrdiff_t>(got), inL.end(), 0.0f);
        std::fill(inR.begin() + static_cast<std::ptrdiff_t>(got), inR.end(), 0.0f);
      }
    } else {
      std::fill(inL.begin(), inL.end(), 0.0f);
      std::fill(inR.begin(), inR.end(), 0.0f);
    }
    // A fixed length ends where it ends; the quiet tail is found sample by
    // sample in whole blocks, as a host would play them.
    if (inputDone && options.tail)
      count = static_cast<std::size_t>(std::min<sf_count_t>(count, inputEnd + tailLimit - at));
    if (count == 0) break;

    time = VstTimeInfo{};
    time.samplePos = static_cast<double>(at);
    time.sampleRate = rate;
    time.ppqPos = options.start + static_cast<double>(at) / rate * options.tempo / 60.0;
    time.tempo = options.tempo;
    time.timeSigNumerator = 4;
    time.timeSigDenominator = 4;
    time.flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
    if (options.playing) time.flags |= kVstTransportPlaying | (at == 0 ? kVstTransportChanged : 0);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    host.processReplacing(inputs, outputs, static_cast<VstInt32>(count));

    std::size_t keep = count;
    if (inputDone && !options.tail) {
      for (std::size_t k = static_cast<std::size_t>(std::max<sf_count_t>(0, inputEnd - at)); k < count; ++k) {
        quietRun = std::fabs(outL[k]) < quiet && std::fabs(outR[k]) < quiet ? quietRun + 1 : 0;
        const sf_count_t tail = at + static_cast<sf_count_t>(k) + 1 - inputEnd;
        if (quietRun >= barFrames || tail >= tailLimit) {
          tailQuiet = quietRun >= barFrames;
          keep = k + 1;
          break;
        }
      }
    }

    if (scratch >= 0) {
      interleave(outL.data(), outR.data(), keep, 1.0f);
      meter.add(interleaved.data(), 2 * keep);
      if (!WriteAll(scratch, interleaved.data(), 2 * keep * sizeof(float)))
        return Fail("cannot write the scratch file for --normalize: " + std::string(std::strerror(errno)));
    } else {
      interleave(outL.data(), outR.data(), keep, gain);
      meter.add(interleaved.data(), 2 * keep);
      if (!out.write(interleaved.data(), keep, error)) return Fail(error);
    }
    if (!dry.name.empty()) {
      interleave(inL.data(), inR.data(), keep, 1.0f);
      if (!dry.write(interleaved.data(), keep, error)) return Fail(error);
    }
    at += static_cast<sf_count_t>(keep);
    progress.update(static_cast<std::size_t>(at));
    // The host kit records every request; a long job at small blocks must
    // not pile them up.
    if (blockIndex % 4096 == 4095) host.clearCalls();
    if (keep < count) break;
  }
  progress.finish();
  host.dispatch(effMainsChanged, 0, 0);

  double normalizedBy = 0.0;
  if (scratch >= 0) {
    const float target = static_cast<float>(std::pow(10.0, *options.normalize / 20.0));
    float scale = 1.0f;
    if (meter.peak > 0.0f) {
      scale = static_cast<float>(static_cast<double>(target) / meter.peak);
      // The scaled peak must not pass the target by a rounding.
      while (meter.peak * scale > target) scale = std::nextafter(scale, 0.0f);
    }
    normalizedBy = 20.0 * std::log10(scale);
    meter = Meter{};
    if (lseek(scratch, 0, SEEK_SET) != 0) return Fail("cannot read the scratch file back");
    for (sf_count_t done = 0; done < at;) {
      const auto frames =
          static_cast<std::size_t>(std::min<sf_count_t>(static_cast<sf_count_t>(block), at - done));
      if (!ReadAll(scratch, interleaved.data(), 2 * frames * sizeof(float)))
        return Fail("cannot read the scratch file back");
      for (std::size_t i = 0; i < 2 * frames; ++i) interleaved[i] *= scale;
      meter.add(interleaved.data(), 2 * frames);
      if (!out.write(interleaved.data(), frames, error)) return Fail(error);
      done += static_cast<sf_count_t>(frames);
    }
    close(scratch);
  }

  if (!dry.name.empty() && !dry.finish(error)) return Fail(error);
  if (!out.finish(error)) return Fail(error);

  // A report for the user; on standard error when standard output carries
  // the audio.
  FILE* report = out.name == "-" ? stderr : stdout;
  const sf_count_t inputLength = inputEnd >= 0 ? std::min(inputEnd, at) : at;
  std::string tailText;
  if (at > inputLength) {
    char text[128];
    std::snprintf(text, sizeof text, " and a %.2f s tail%s", static_cast<double>(at - inputLength) / rate,
                  options.tail ? ""
                  : tailQuiet  ? " (until the output stayed below -90 dBFS for a bar)"
                               : " (cut at 32 bars: the echoes still sound)");
    tailText = text;
  }
  std::fprintf(report, "rendered %.2f s%s at %ld Hz, %.6g BPM, to %s (%s)\n",
               static_cast<double>(inputLength) / rate, tailText.c_str(), static_cast<long>(fileRate),
               options.tempo, out.name.c_str(), out.format.describe().c_str());
  std::string levels = "peak " + Decibels(meter.peak) + " dBFS";
  if (scratch >= 0) levels += ", normalized by " + Decibels(std::pow(10.0, normalizedBy / 20.0)) + " dB";
  if (out.format.integer()) levels += ", " + std::to_string(meter.clipped) + " samples clipped";
  std::fprintf(report, "%s\n", levels.c_str());
  if (!demo) {
    if (const std::string note = file.shortfall(); !note.empty()) Warn(note);
  }
  if (meter.peak > 1.0f) {
    if (out.format.integer())
      Warn("the output peaks at " + Decibels(meter.peak) + " dBFS: " + std::to_string(meter.clipped) +
           " samples clipped; lower it with --gain or --normalize");
    else
      Warn("the output peaks at " + Decibels(meter.peak) +
           " dBFS, above full scale; lower it with --gain or --normalize");
  }
  return 0;
}
