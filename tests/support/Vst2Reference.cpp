#include "tests/support/Vst2Reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/hostkit/PluginHost.h"

namespace reference {

std::int64_t Frames(const Song& song) {
  if (song.frames > 0) return song.frames;
  const render::Demo demo(song.rate, song.segments.front().tempo);
  return static_cast<std::int64_t>(demo.frames()) +
         std::llround(240.0 / song.segments.front().tempo * song.rate);
}

const Segment& SegmentAt(const Song& song, std::int64_t at) {
  const Segment* in = &song.segments.front();
  for (const Segment& s : song.segments)
    if (s.start <= at) in = &s;
  return *in;
}

double BeatsAt(const Song& song, std::int64_t at) {
  const Segment& s = SegmentAt(song, at);
  return s.playing ? s.beats + static_cast<double>(at - s.start) / song.rate * s.tempo / 60.0 : s.beats;
}

std::int64_t NextStart(const Song& song, std::int64_t at, std::int64_t end) {
  for (const Segment& s : song.segments)
    if (s.start > at) return std::min(s.start, end);
  return end;
}

void DemoInput::read(float* left, float* right, std::size_t count) {
  const std::size_t got = demo_.read(left, right, count);
  std::fill(left + got, left + count, 0.0f);
  std::fill(right + got, right + count, 0.0f);
}

Stereo RenderVst(const Song& song, int block, const Values& values, int program) {
  static hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  Stereo out;
  if (!library.ok()) return out;
  hostkit::PluginHost host;
  VstTimeInfo time{};
  host.timeInfo = &time;
  if (host.create(library.entry()) == nullptr) return out;
  host.dispatch(effOpen);
  host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(song.rate));
  host.dispatch(effSetBlockSize, 0, block);
  host.dispatch(effSetProgram, 0, program);
  for (const auto& [slot, value] : values) host.setParameter(slot, value);
  host.dispatch(effMainsChanged, 0, 1);

  const std::int64_t total = Frames(song);
  out.left.resize(total);
  out.right.resize(total);
  DemoInput input(song);
  std::vector<float> inL(block), inR(block);
  auto change = song.changes.begin();
  for (std::int64_t at = 0; at < total;) {
    for (; change != song.changes.end() && change->frame <= at; ++change) {
      if (change->slot == kProgram)
        host.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(change->value));
      else
        host.setParameter(change->slot, change->value);
    }
    std::int64_t end = std::min(at + block, NextStart(song, at, total));
    if (change != song.changes.end()) end = std::min(end, change->frame);
    const auto count = static_cast<VstInt32>(end - at);
    input.read(inL.data(), inR.data(), count);
    const Segment& segment = SegmentAt(song, at);
    time = VstTimeInfo{};
    time.samplePos = static_cast<double>(at);
    time.sampleRate = song.rate;
    time.ppqPos = BeatsAt(song, at);
    time.tempo = segment.tempo;
    time.timeSigNumerator = 4;
    time.timeSigDenominator = 4;
    time.flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
    if (segment.playing) time.flags |= kVstTransportPlaying;
    if (at == segment.start) time.flags |= kVstTransportChanged;
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {out.left.data() + at, out.right.data() + at};
    host.processReplacing(inputs, outputs, count);
    at = end;
  }
  host.dispatch(effMainsChanged, 0, 0);
  host.close();
  return out;
}

std::string Difference(const Stereo& a, const Stereo& b) {
  if (a.left.empty() || b.left.empty()) return "a render is empty (the plug-in did not load)";
  if (a.left.size() != b.left.size()) return "lengths differ";
  for (std::size_t i = 0; i < a.left.size(); ++i) {
    if (std::memcmp(&a.left[i], &b.left[i], sizeof(float)) != 0 ||
        std::memcmp(&a.right[i], &b.right[i], sizeof(float)) != 0)
      return "first difference at frame " + std::to_string(i) + ": " + std::to_string(a.left[i]) + "/" +
             std::to_string(a.right[i]) + " against " + std::to_string(b.left[i]) + "/" +
             std::to_string(b.right[i]);
  }
  return "";
}

}  // namespace reference
