// plonkrift-render: loads the plug-in library through its entry as a host
// does, plays a song position over an input (a file or the built-in demo) at
// a given tempo and sample rate, and writes the processed audio.

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/hostkit/PluginHost.h"
#include "tools/render/DemoSignal.h"
#include "tools/render/RenderOptions.h"

namespace {

constexpr int kNumSlots = 70;

int Fail(const std::string& message) {
  std::fprintf(stderr, "plonkrift-render: %s\n", message.c_str());
  return 1;
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
  static const std::pair<VstInt32, const char*> kNames[] = {
      {effFlagsHasEditor, "HasEditor"},     {effFlagsHasClip, "HasClip"},
      {effFlagsHasVu, "HasVu"},             {effFlagsCanMono, "CanMono"},
      {effFlagsCanReplacing, "CanReplacing"}, {effFlagsProgramChunks, "ProgramChunks"},
      {effFlagsIsSynth, "IsSynth"},         {effFlagsNoSoundInStop, "NoSoundInStop"}};
  std::string text;
  for (const auto& [bit, name] : kNames)
    if (flags & bit) text.append(text.empty() ? "" : " ").append(name);
  return text;
}

void PrintInfo(hostkit::PluginHost& host) {
  AEffect* e = host.effect();
  std::printf("name:       %s\n", host.text(effGetEffectName).c_str());
  std::printf("vendor:     %s\n", host.text(effGetVendorString).c_str());
  std::printf("product:    %s\n", host.text(effGetProductString).c_str());
  std::printf("version:    %ld (vendor version %ld, VST %ld)\n", static_cast<long>(e->version),
              static_cast<long>(host.dispatch(effGetVendorVersion)), static_cast<long>(host.dispatch(effGetVstVersion)));
  std::printf("unique id:  '%s' (0x%08X)\n", FourChars(e->uniqueID).c_str(), static_cast<unsigned>(e->uniqueID));
  std::printf("programs:   %d\nparameters: %d\ninputs:     %d\noutputs:    %d\n", e->numPrograms, e->numParams,
              e->numInputs, e->numOutputs);
  std::printf("flags:      0x%X (%s)\n", static_cast<unsigned>(e->flags), FlagNames(e->flags).c_str());
  std::printf("\nparameters (index, name, default, display, label):\n");
  for (int i = 0; i < e->numParams; ++i) {
    std::printf("%3d  %-16s %.4f  %8s %s\n", i, host.text(effGetParamName, i).c_str(), host.getParameter(i),
                host.text(effGetParamDisplay, i).c_str(), host.text(effGetParamLabel, i).c_str());
  }
  std::printf("\nprograms:\n");
  for (int i = 0; i < e->numPrograms; ++i) {
    char name[256] = {};
    host.dispatch(effGetProgramNameIndexed, i, 0, name);
    name[sizeof name - 1] = '\0';
    std::printf("%3d  %s\n", i, name);
  }
}

bool ReadInput(const std::string& path, render::Audio& audio, std::string& error) {
  struct stat status{};
  if (stat(path.c_str(), &status) != 0) return error = "input file '" + path + "' does not exist", false;
  if (S_ISDIR(status.st_mode) || access(path.c_str(), R_OK) != 0)
    return error = "cannot read input file '" + path + "'", false;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    return error = "unsupported format of '" + path + "' (" + sf_strerror(nullptr) +
                   "); give a WAV, FLAC or AIFF file",
           false;
  }
  const int major = info.format & SF_FORMAT_TYPEMASK;
  if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX && major != SF_FORMAT_FLAC && major != SF_FORMAT_AIFF &&
      major != SF_FORMAT_RF64) {
    sf_close(file);
    return error = "unsupported format of '" + path + "': give a WAV, FLAC or AIFF file", false;
  }
  if (info.channels < 1 || info.channels > 2) {
    sf_close(file);
    return error = "'" + path + "' has " + std::to_string(info.channels) +
                   " channels: give a mono or stereo file",
           false;
  }
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
  const sf_count_t read = sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  audio.rate = info.samplerate;
  audio.left.resize(static_cast<std::size_t>(read));
  audio.right.resize(static_cast<std::size_t>(read));
  for (sf_count_t n = 0; n < read; ++n) {
    // A mono file feeds both inputs.
    audio.left[n] = interleaved[n * info.channels];
    audio.right[n] = interleaved[n * info.channels + info.channels - 1];
  }
  return true;
}

bool WriteOutput(const std::string& path, const render::Audio& audio, int bits, std::string& error) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(std::lround(audio.rate));
  info.channels = 2;
  info.format = SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT);
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return error = "cannot write '" + path + "': " + sf_strerror(nullptr), false;
  std::vector<float> interleaved(audio.left.size() * 2);
  for (std::size_t n = 0; n < audio.left.size(); ++n) {
    interleaved[2 * n] = audio.left[n];
    interleaved[2 * n + 1] = audio.right[n];
  }
  if (bits != 32) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const sf_count_t written = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(audio.left.size()));
  const bool ok = written == static_cast<sf_count_t>(audio.left.size());
  if (sf_close(file) != 0 || !ok) return error = "cannot write '" + path + "' completely", false;
  return true;
}

// A progress bar on standard error, shown only on a terminal and only once
// the job has run for a second.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total), tty_(isatty(STDERR_FILENO) != 0) {}
  void update(std::size_t done) {
    if (!tty_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    const int width = 40;
    const int filled = static_cast<int>(width * done / std::max<std::size_t>(total_, 1));
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(), std::string(width - filled, ' ').c_str(),
                 static_cast<int>(100 * done / std::max<std::size_t>(total_, 1)));
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

}  // namespace

int main(int argc, char** argv) {
  render::Options options;
  std::string error;
  if (!render::Parse(argc, argv, options, error)) return Fail(error);
  if (options.help) {
    std::fputs(render::Usage(), stdout);
    return 0;
  }

  const std::string path = options.plugin.empty() ? hostkit::defaultPluginPath() : options.plugin;
  hostkit::PluginLibrary library(path);
  if (!library.ok()) return Fail("cannot load the plug-in '" + path + "': " + library.error());
  hostkit::PluginHost host;
  VstTimeInfo time{};
  host.timeInfo = &time;
  AEffect* effect = host.create(library.entry());
  if (effect == nullptr) return Fail("the plug-in '" + path + "' made no instance");

  if (options.info) {
    PrintInfo(host);
    return 0;
  }

  render::Audio in;
  if (options.input.empty()) {
    in = render::MakeDemo(options.rate.value_or(44100.0), options.tempo);
  } else if (!ReadInput(options.input, in, error)) {
    return Fail(error);
  }
  if (in.rate < 8000.0 || in.rate > 384000.0)
    return Fail("sample rate " + std::to_string(static_cast<long>(in.rate)) + " Hz of '" + options.input +
                "' is out of range: 8000 to 384000 Hz");

  // Parameters by the names the host sees.
  std::vector<std::string> names(kNumSlots);
  for (int i = 0; i < kNumSlots; ++i) names[i] = host.text(effGetParamName, i);
  std::vector<std::pair<int, float>> sets;
  for (const auto& [name, value] : options.sets) {
    const auto found = std::find_if(names.begin(), names.end(), [&wanted = name](const std::string& n) {
      return n == wanted && n != "reserved";
    });
    if (found == names.end()) {
      std::string valid;
      for (const std::string& n : names)
        if (n != "reserved") valid += (valid.empty() ? "" : ", ") + n;
      return Fail("unknown parameter \"" + name + "\"; valid names: " + valid);
    }
    sets.emplace_back(static_cast<int>(found - names.begin()), value);
  }

  // Start the instance as a host does.
  host.dispatch(effOpen);
  host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(in.rate));
  host.dispatch(effSetBlockSize, 0, options.block);
  if (options.program) host.dispatch(effSetProgram, 0, *options.program);
  for (const auto& [index, value] : sets) host.setParameter(index, value);
  host.dispatch(effMainsChanged, 0, 1);

  render::Audio out;
  out.rate = in.rate;
  out.left.assign(in.left.size(), 0.0f);
  out.right.assign(in.right.size(), 0.0f);
  Progress progress(in.left.size());
  const std::size_t frames = in.left.size();
  for (std::size_t at = 0; at < frames; at += static_cast<std::size_t>(options.block)) {
    const auto count = static_cast<VstInt32>(std::min<std::size_t>(options.block, frames - at));
    time = VstTimeInfo{};
    time.samplePos = static_cast<double>(at);
    time.sampleRate = in.rate;
    time.ppqPos = options.start + static_cast<double>(at) / in.rate * options.tempo / 60.0;
    time.tempo = options.tempo;
    time.timeSigNumerator = 4;
    time.timeSigDenominator = 4;
    time.flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
    if (options.playing) time.flags |= kVstTransportPlaying | (at == 0 ? kVstTransportChanged : 0);
    float* inputs[2] = {in.left.data() + at, in.right.data() + at};
    float* outputs[2] = {out.left.data() + at, out.right.data() + at};
    host.processReplacing(inputs, outputs, count);
    progress.update(at + count);
    // The host kit records every request; a long job at small blocks must
    // not pile them up.
    if ((at / options.block) % 4096 == 4095) host.clearCalls();
  }
  progress.finish();
  host.dispatch(effMainsChanged, 0, 0);

  if (!WriteOutput(options.output, out, options.bits, error)) return Fail(error);
  if (!options.dry.empty() && !WriteOutput(options.dry, in, options.bits, error)) return Fail(error);
  std::printf("rendered %.2f s at %ld Hz, %.6g BPM, to %s\n", frames / in.rate, static_cast<long>(in.rate),
              options.tempo, options.output.c_str());
  return 0;
}
