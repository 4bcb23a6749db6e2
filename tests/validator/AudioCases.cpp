// Cases that feed audio: block sizes, in-place buffers, sample rates, missing
// and hostile time information, and awkward input signals. (What silence
// after them costs is a benchmark figure: bench_engine.)

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/validator/Cases.h"

namespace validator {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A chord with a click on every beat and some noise: it excites the gate, the
// filters and the delays.
Stereo musicSignal(std::size_t frames, double sampleRate, std::uint64_t seed = 7) {
  Stereo signal(frames);
  Noise noise(seed);
  const auto beat = static_cast<std::size_t>(sampleRate * 0.5);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    double value = 0.2 * std::sin(2 * kPi * 220.0 * t) + 0.15 * std::sin(2 * kPi * 277.18 * t) +
                   0.1 * std::sin(2 * kPi * 329.63 * t) + 0.05 * noise.sample();
    if (i % beat < 16) value += 0.8;
    signal.left[i] = static_cast<float>(value);
    signal.right[i] = static_cast<float>(value * 0.8 + 0.05 * noise.sample());
  }
  return signal;
}

double maxDifference(const Stereo& a, const Stereo& b) {
  double worst = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    worst = std::fmax(worst, std::fabs(static_cast<double>(a.left[i]) - b.left[i]));
    worst = std::fmax(worst, std::fabs(static_cast<double>(a.right[i]) - b.right[i]));
    if (std::isnan(a.left[i]) != std::isnan(b.left[i]) || std::isnan(a.right[i]) != std::isnan(b.right[i]))
      return std::numeric_limits<double>::infinity();
  }
  return worst;
}

OutputScan scanStereo(const Stereo& s) {
  OutputScan scan;
  scan.scan(s.left.data(), s.size(), 0);
  scan.scan(s.right.data(), s.size(), 0);
  return scan;
}

// ---------------------------------------------------------------------------

CaseResult blockSizes() {
  const double rate = 44100.0;
  const Stereo input = musicSignal(static_cast<std::size_t>(rate * 3), rate);
  std::string why;
  Host reference;
  if (!openInstance(reference, why, static_cast<float>(rate), 64)) return fail(why);
  const Stereo expected = renderThrough(reference, input, {64}, rate);
  if (!scanStereo(expected).clean()) return fail("blocks of 64: " + scanStereo(expected).describe());
  if (scanStereo(expected).peak <= 1e-3) return fail("blocks of 64 gave silence for a loud input");

  Noise pick(99);
  std::vector<int> randomBlocks(400);
  for (int& b : randomBlocks) b = pick.range(1, 8192);
  struct Run {
    const char* name;
    std::vector<int> blocks;
  };
  const Run runs[] = {{"1", {1}}, {"17", {17}}, {"4096", {4096}}, {"random 1..8192", randomBlocks}};
  std::string report;
  bool ok = true;
  for (const Run& run : runs) {
    Host host;
    // Announced 64: every size above it is larger than the host promised.
    if (!openInstance(host, why, static_cast<float>(rate), 64)) return fail(why);
    const Stereo got = renderThrough(host, input, run.blocks, rate);
    const OutputScan scan = scanStereo(got);
    const double difference = maxDifference(got, expected);
    if (!scan.clean()) {
      ok = false;
      report += std::string(" blocks of ") + run.name + ": " + scan.describe() + ";";
    }
    if (difference > 1e-6) {
      ok = false;
      report += std::string(" blocks of ") + run.name + " differ from blocks of 64 by up to " +
                number(difference, 9) + ";";
    }
  }
  if (!ok) return fail("announced 64:" + report);
  return pass(
      "blocks of 1, 17, 4096 and random 1..8192 (announced 64) give the output of blocks of 64, finite");
}

// ---------------------------------------------------------------------------

CaseResult inPlace() {
  const double rate = 48000.0;
  const Stereo input = musicSignal(static_cast<std::size_t>(rate * 2), rate, 11);
  Noise pick(5);
  std::vector<int> blocks(300);
  for (int& b : blocks) b = pick.range(1, 2048);

  // Runs the signal once; `accumulate` picks process over processReplacing,
  // `sameBuffers` hands the input buffers as outputs.
  auto run = [&](bool accumulate, bool sameBuffers, std::string& why) -> Stereo {
    Host host;
    if (!openInstance(host, why, static_cast<float>(rate), 2048)) return Stereo();
    Transport transport(rate, 120.0);
    host.time.store(transport.current());
    Stereo in = input;
    // process adds to what the outputs hold: out of place they hold a copy
    // of the input, so both runs add to the same values.
    Stereo out = input;
    std::size_t done = 0, which = 0;
    while (done < in.size()) {
      const auto frames =
          static_cast<VstInt32>(std::min<std::size_t>(blocks[which++ % blocks.size()], in.size() - done));
      float* inputs[2] = {in.left.data() + done, in.right.data() + done};
      float* separate[2] = {out.left.data() + done, out.right.data() + done};
      float** outputs = sameBuffers ? inputs : separate;
      if (accumulate)
        host.effect()->process(host.effect(), inputs, outputs, frames);
      else
        host.effect()->processReplacing(host.effect(), inputs, outputs, frames);
      transport.advance(frames);
      done += static_cast<std::size_t>(frames);
    }
    host.time.store(nullptr);
    return sameBuffers ? in : out;
  };

  std::string why;
  std::string report;
  for (bool accumulate : {false, true}) {
    const Stereo apart = run(accumulate, false, why);
    const Stereo same = run(accumulate, true, why);
    if (!why.empty()) return fail(why);
    const char* name = accumulate ? "process" : "processReplacing";
    const bool identical =
        std::memcmp(apart.left.data(), same.left.data(), apart.size() * sizeof(float)) == 0 &&
        std::memcmp(apart.right.data(), same.right.data(), apart.size() * sizeof(float)) == 0;
    if (!identical)
      report += std::string(" ") + name + " in place differs by up to " +
                number(maxDifference(apart, same), 9) + ";";
    if (!scanStereo(apart).clean())
      report += std::string(" ") + name + ": " + scanStereo(apart).describe() + ";";
  }
  if (!report.empty()) return fail(report.substr(1));
  return pass("processReplacing and process give bit-identical output in place and out of place");
}

// ---------------------------------------------------------------------------

CaseResult sampleRates() {
  const double rates[] = {8000,  11025, 16000,  22050,  32000,  44100, 48000,
                          88200, 96000, 176400, 192000, 352800, 384000};
  std::string report;
  for (double rate : rates) {
    Host host;
    std::string why;
    if (!openInstance(host, why, static_cast<float>(rate), 1024)) return fail(why);
    const Stereo out =
        renderThrough(host, musicSignal(static_cast<std::size_t>(rate * 1.5), rate), {1024}, rate);
    const OutputScan scan = scanStereo(out);
    if (!scan.clean())
      report += " " + number(rate, 0) + " Hz: " + scan.describe() + ";";
    else if (scan.peak < 1e-3)
      report += " " + number(rate, 0) + " Hz: silent output for a loud input;";
  }
  // One instance through every rate, suspended and resumed around each change.
  Host host;
  std::string why;
  if (!openInstance(host, why, 44100.0f, 1024)) return fail(why);
  for (double rate : {8000.0, 384000.0, 22050.0, 192000.0, 8000.0}) {
    host.dispatch(effMainsChanged, 0, 0);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    host.dispatch(effMainsChanged, 0, 1);
    const OutputScan scan =
        scanStereo(renderThrough(host, musicSignal(static_cast<std::size_t>(rate / 2), rate), {1024}, rate));
    if (!scan.clean()) report += " after switching to " + number(rate, 0) + " Hz: " + scan.describe() + ";";
  }
  if (!report.empty()) return fail(report.substr(1));
  return pass("8 kHz to 384 kHz (13 rates, and switching rates on one instance): finite, audible output");
}

// ---------------------------------------------------------------------------

CaseResult noTimeInfo() {
  Host host;
  std::string why;
  if (!openInstance(host, why)) return fail(why);
  const std::size_t frames = 512;
  Stereo in = musicSignal(frames, 44100.0);
  std::string report;

  VstTimeInfo zeroFlags{};
  zeroFlags.ppqPos = 3.0;
  zeroFlags.tempo = 120.0;
  zeroFlags.sampleRate = 44100.0;
  struct Variant {
    const char* name;
    VstTimeInfo* record;
  };
  const Variant variants[] = {{"null record", nullptr}, {"flags 0", &zeroFlags}};
  for (const Variant& variant : variants) {
    host.time.store(variant.record);
    for (int round = 0; round < 50; ++round) {
      Stereo out(frames);
      std::fill(out.left.begin(), out.left.end(), 0.25f);
      std::fill(out.right.begin(), out.right.end(), 0.25f);
      float* inputs[2] = {in.left.data(), in.right.data()};
      float* outputs[2] = {out.left.data(), out.right.data()};
      host.effect()->processReplacing(host.effect(), inputs, outputs, static_cast<VstInt32>(frames));
      const bool silent = std::all_of(out.left.begin(), out.left.end(), [](float v) { return v == 0.0f; }) &&
                          std::all_of(out.right.begin(), out.right.end(), [](float v) { return v == 0.0f; });
      std::fill(out.left.begin(), out.left.end(), 0.25f);
      std::fill(out.right.begin(), out.right.end(), 0.25f);
      host.effect()->process(host.effect(), inputs, outputs, static_cast<VstInt32>(frames));
      const bool untouched =
          std::all_of(out.left.begin(), out.left.end(), [](float v) { return v == 0.25f; }) &&
          std::all_of(out.right.begin(), out.right.end(), [](float v) { return v == 0.25f; });
      if (round == 0 && !silent)
        report += std::string(" ") + variant.name + ": processReplacing did not write silence;";
      if (round == 0 && !untouched)
        report += std::string(" ") + variant.name + ": process changed the outputs;";
    }
  }
  // The host's time information comes back: the effect plays again.
  const OutputScan scan = scanStereo(renderThrough(host, musicSignal(44100, 44100.0), {512}, 44100.0));
  if (!scan.clean())
    report += " after time information returned: " + scan.describe() + ";";
  else if (scan.peak < 1e-3)
    report += " silent after time information returned;";
  if (host.requests(audioMasterGetTime) == 0) report += " the plug-in never asked for the time;";
  if (!report.empty()) return fail(report.substr(1));
  return pass(
      "null record and flags 0: processReplacing writes silence, process adds nothing, playing resumes "
      "after");
}

// ---------------------------------------------------------------------------

// Every block a different transport, as hosts with loops, jumps, stops and
// broken time records send.
CaseResult randomTransport() {
  Host host;
  std::string why;
  if (!openInstance(host, why, 48000.0f, 2048)) return fail(why);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double positions[] = {0.0,   -1.0,   -1e9,    0.25, 4.0 - 1e-12, 2147483648.0, 2147483647.75, 1e15,
                              1e300, -1e300, DBL_MAX, nan,  inf,         -inf,         DBL_MIN,       5e-324};
  const double tempos[] = {120.0, 93.0, 0.0, -120.0, 1e-300, 1e-3, 999.0, 1e9, 1e300, nan, inf, -inf, 5e-324};
  Noise pick(2024);
  Noise audio(3);
  VstTimeInfo info{};
  double ppq = 0.0, tempo = 120.0;
  Stereo in(2048), out(2048);
  OutputScan scan;
  std::size_t total = 0;
  const int blocks = 6000;
  for (int b = 0; b < blocks; ++b) {
    const int frames = pick.range(1, 2048);
    const int kind = pick.range(0, 9);
    int flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
    switch (kind) {
      case 0:
        break;  // stopped
      case 1:
      case 2:
        flags |= kVstTransportPlaying;
        break;  // playing on
      case 3:
        ppq = pick.range(-64, 4096) * 0.37;
        flags |= kVstTransportPlaying | kVstTransportChanged;
        break;  // jump
      case 4:
        ppq = 8.0;
        flags |= kVstTransportPlaying | kVstTransportChanged | kVstTransportCycleActive;
        break;  // loop
      case 5:
        ppq = positions[pick.range(0, 15)];
        flags |= kVstTransportPlaying;
        break;
      case 6:
        tempo = tempos[pick.range(0, 12)];
        flags |= kVstTransportPlaying;
        break;
      case 7:
        flags = kVstTransportPlaying | kVstTempoValid;
        break;  // no position
      case 8:
        flags = kVstTransportPlaying | kVstTransportChanged;
        break;  // neither position nor tempo
      default:
        flags = static_cast<int>(pick.next() & 0xFFFF) | 1;
        break;  // any bits
    }
    info = VstTimeInfo{};
    info.ppqPos = ppq;
    info.tempo = tempo;
    info.samplePos = kind == 5 ? positions[pick.range(0, 15)] : ppq * 60.0 / 120.0 * 48000.0;
    info.sampleRate = 48000.0;
    info.timeSigNumerator = pick.range(-1, 19);
    info.timeSigDenominator = pick.range(0, 16);
    info.flags = flags;
    host.time.store(&info);
    for (int i = 0; i < frames; ++i) in.left[i] = in.right[i] = audio.sample();
    float* inputs[2] = {in.left.data(), in.right.data()};
    float* outputs[2] = {out.left.data(), out.right.data()};
    if (b % 3 == 2) {
      std::fill(out.left.begin(), out.left.begin() + frames, 0.0f);
      std::fill(out.right.begin(), out.right.begin() + frames, 0.0f);
      host.effect()->process(host.effect(), inputs, outputs, frames);
    } else {
      host.effect()->processReplacing(host.effect(), inputs, outputs, frames);
    }
    scan.scan(out.left.data(), static_cast<std::size_t>(frames), total);
    scan.scan(out.right.data(), static_cast<std::size_t>(frames), total);
    total += static_cast<std::size_t>(frames);
    // Playing moves the position on, in the tempo of the record.
    if ((flags & kVstTransportPlaying) != 0 && std::isfinite(ppq) && std::isfinite(tempo) &&
        std::fabs(ppq) < 1e12)
      ppq += frames / 48000.0 * tempo / 60.0;
  }
  host.time.store(nullptr);
  std::string report;
  if (!scan.clean())
    report += " during " + std::to_string(blocks) + " random blocks: " + scan.describe() + ";";
  // After the abuse an ordinary song plays as usual.
  const OutputScan after = scanStereo(renderThrough(host, musicSignal(96000, 48000.0), {512}, 48000.0));
  if (!after.clean())
    report += " afterwards: " + after.describe() + ";";
  else if (after.peak < 1e-3)
    report += " silent for an ordinary song afterwards;";
  if (!report.empty()) return fail(report.substr(1));
  return pass(std::to_string(blocks) +
              " blocks of random transport (stops, jumps, loops, negative, huge, NaN and infinite "
              "positions and tempos, missing flags): finite, and plays normally afterwards");
}

// ---------------------------------------------------------------------------

struct InputKind {
  const char* name;
  float (*sample)(std::size_t i);
};

float silenceSample(std::size_t) {
  return 0.0f;
}
float impulseSample(std::size_t i) {
  return i == 0 ? 1.0f : 0.0f;
}
float dcSample(std::size_t) {
  return 1.0f;
}
float squareSample(std::size_t i) {
  return (i / 50) % 2 == 0 ? 1.0f : -1.0f;
}
float tinySample(std::size_t i) {
  return i % 2 == 0 ? 1e-38f : -1e-38f;
}
float fltMinSample(std::size_t i) {
  return i % 3 == 0 ? -FLT_MIN : FLT_MIN;
}
float nanSample(std::size_t i) {
  return i % 100 < 50 ? std::numeric_limits<float>::quiet_NaN() : 0.5f;
}
float infSample(std::size_t i) {
  return i % 2 == 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
}

const InputKind kInputs[] = {{"silence", silenceSample}, {"impulse", impulseSample},
                             {"DC", dcSample},           {"square", squareSample},
                             {"1e-38", tinySample},      {"FLT_MIN", fltMinSample},
                             {"NaN burst", nanSample},   {"infinity burst", infSample}};

// Parameter settings the signals go through: the defaults, and long,
// resonant tails that spend a long time fading towards the subnormal range.
void longTails(Host& host) {
  host.setParameter(45, 0.95f);  // FD1 Feedback
  host.setParameter(55, 0.95f);  // FD2 Feedback
  host.setParameter(42, 1.0f);   // FD1 Reso
  host.setParameter(52, 1.0f);   // FD2 Reso
  host.setParameter(44, 0.0f);   // FD1 Delay Time
  host.setParameter(33, 0.0f);   // gate off: the dry path passes everything
}

// Feeds `burst` frames of the signal, then silence, in blocks; scans
// everything that comes out.
CaseResult inputSignals() {
  const double rate = 44100.0;
  const int block = 512;
  std::string report;
  for (int setting = 0; setting < 2; ++setting) {
    for (const InputKind& kind : kInputs) {
      Host host;
      std::string why;
      if (!openInstance(host, why, static_cast<float>(rate), block)) return fail(why);
      if (setting == 1) longTails(host);
      Transport transport(rate, 120.0);
      host.time.store(transport.current());
      Stereo in(block), out(block);
      OutputScan scan;
      const std::size_t burst = 22050, tail = 44100 * 4;
      std::size_t done = 0;
      while (done < burst + tail) {
        for (int i = 0; i < block; ++i) {
          const float v = done + i < burst ? kind.sample(done + i) : 0.0f;
          in.left[i] = v;
          in.right[i] = v;
        }
        float* inputs[2] = {in.left.data(), in.right.data()};
        float* outputs[2] = {out.left.data(), out.right.data()};
        host.effect()->processReplacing(host.effect(), inputs, outputs, block);
        scan.scan(out.left.data(), block, done);
        scan.scan(out.right.data(), block, done);
        transport.advance(block);
        done += block;
      }
      std::string where = std::string(kind.name) + (setting == 1 ? " (long tails)" : "");
      if (!scan.clean()) report += " " + where + ": " + scan.describe() + ";";
      // One bad burst must not silence the effect for good.
      Stereo song = musicSignal(44100, rate);
      Stereo played(song.size());
      for (std::size_t at = 0; at < song.size(); at += block) {
        float* inputs[2] = {song.left.data() + at, song.right.data() + at};
        float* outputs[2] = {played.left.data() + at, played.right.data() + at};
        const auto frames = static_cast<VstInt32>(std::min<std::size_t>(block, song.size() - at));
        host.effect()->processReplacing(host.effect(), inputs, outputs, frames);
        transport.advance(frames);
      }
      const OutputScan after = scanStereo(played);
      if (!after.clean())
        report += " music after " + where + ": " + after.describe() + ";";
      else if (after.peak < 1e-3)
        report += " silent for music after " + where + ";";
      host.time.store(nullptr);
    }
  }
  if (!report.empty()) return fail(report.substr(1));
  return pass(
      "silence, impulse, DC, square, 1e-38, FLT_MIN, NaN and infinity bursts then silence (defaults and long "
      "tails): "
      "output finite and never subnormal, music plays after each");
}

}  // namespace

std::vector<Case> audioCases() {
  return {
      {"block-sizes", blockSizes, DisplayNeed::Unset, 60},
      {"in-place", inPlace, DisplayNeed::Unset, 60},
      {"sample-rates", sampleRates, DisplayNeed::Unset, 60},
      {"no-time-info", noTimeInfo, DisplayNeed::Unset, 30},
      {"random-transport", randomTransport, DisplayNeed::Unset, 60},
      {"input-signals", inputSignals, DisplayNeed::Unset, 60},
  };
}

}  // namespace validator
