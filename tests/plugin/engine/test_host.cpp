// The engine through the built library, driven as a host drives it: the
// dry-path identities, block-size independence, transport start and stop,
// and the time information of real hosts.

#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugin/engine/HostRun.h"

namespace {

using enginetest::HostRun;
using enginetest::Noise;
using enginetest::Stereo;
using namespace parameters;

// Dry path only: gate and both units off, the gate volume at 1.
void DryOnly(HostRun& run, float gateEnable) {
  run.set(kGateEnable, gateEnable);
  run.set(kFd1Enable, 0.0f);
  run.set(kFd2Enable, 0.0f);
  run.set(kGateVolume, 1.0f);
}

TEST(HostDryPath, GateOffPassesTheInputUnchanged) {
  const Stereo in = Noise(3000);
  HostRun replacing, adding;
  ASSERT_TRUE(replacing.ok() && adding.ok());
  DryOnly(replacing, 0.0f);
  DryOnly(adding, 0.0f);
  EXPECT_EQ(replacing.play(in, 512).left, in.left);
  // process adds to what the buffers hold: here the input itself (in place).
  Stereo buffer = in;
  float* io[2] = {buffer.left.data(), buffer.right.data()};
  adding.time.tempo = 120;
  adding.time.flags = enginetest::kPlayingFlags;
  adding.host->process(io, io, 3000);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(buffer.left[i], in.left[i] + in.left[i]);
    ASSERT_EQ(buffer.right[i], in.right[i] + in.right[i]);
  }
}

TEST(HostDryPath, MonoSumAndOppositeChannels) {
  Stereo opposite = Noise(2000);
  for (std::size_t i = 0; i < opposite.size(); ++i) opposite.right[i] = -opposite.left[i];
  {
    HostRun run;
    DryOnly(run, 1.0f);
    const Stereo out = run.play(opposite, 256);
    for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out.left[i], 0.0f) << "gate on: the mono sum";
  }
  {
    HostRun run;
    DryOnly(run, 0.0f);
    EXPECT_EQ(run.play(opposite, 256).right, opposite.right) << "gate off: the stereo input";
  }
  {
    // "Gate Enable" at exactly 0.5: the mono sum, not gated.
    const Stereo in = Noise(2000, 7);
    HostRun run;
    DryOnly(run, 0.5f);
    const Stereo out = run.play(in, 256);
    for (std::size_t i = 0; i < out.size(); ++i) {
      ASSERT_EQ(out.left[i], in.left[i] + in.right[i]);
      ASSERT_EQ(out.right[i], out.left[i]);
    }
  }
}

TEST(HostDryPath, FullGateDoublesTheSameSignalOnBothChannels) {
  // Step 1 on and tied, no attack: after the click guard the level is 1.
  // (Playing without the transport-changed bit, the first sample triggers.)
  Stereo in = Noise(5000, 9);
  in.right = in.left;
  HostRun run;
  run.shape = [](VstTimeInfo& t, long long, int) { t.flags &= ~kVstTransportChanged; };
  DryOnly(run, 1.0f);
  run.set(kGateAttack, 0.0f);
  run.set(kStep1, 1.0f);
  run.set(kTie1, 1.0f);
  const Stereo out = run.play(in, 333, true);
  for (int i = 221; i < 5000; ++i) ASSERT_EQ(out.left[i], 2.0f * in.left[i]) << i;
}

TEST(HostDryPath, PanSendsAUnitToOneSide) {
  const Stereo in = Noise(20000, 4);
  HostRun left, right;
  for (HostRun* run : {&left, &right}) {
    run->set(kGateVolume, 0.0f);
    run->set(kFd1LfoPan, 0.0f);
    run->set(kFd2LfoPan, 0.0f);
    run->set(kFd1Feedback, 0.9f);
    run->set(kFd2Feedback, 0.9f);
  }
  left.set(kFd2Enable, 0.0f);
  left.set(kFd1Pan, 1.0f);
  right.set(kFd1Enable, 0.0f);
  right.set(kFd2Pan, 0.0f);
  const Stereo l = left.play(in, 1024), r = right.play(in, 1024);
  float heardLeft = 0, heardRight = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(l.right[i], 0.0f);
    ASSERT_EQ(r.left[i], 0.0f);
    heardLeft = std::max(heardLeft, std::fabs(l.left[i]));
    heardRight = std::max(heardRight, std::fabs(r.right[i]));
  }
  EXPECT_GT(heardLeft, 0.01f);
  EXPECT_GT(heardRight, 0.01f);
}

TEST(HostEngine, SameOutputInBlocksOf1And64And4096AndInPlace) {
  // Three seconds of the default program (both units on) with some shuffle.
  const Stereo in = Noise(3 * 44100, 5);
  Stereo reference;
  for (int block : {4096, 64, 1}) {
    HostRun run;
    run.set(kGateShuffle, 0.6f);
    const Stereo out = run.play(in, block);
    if (block == 4096) {
      reference = out;
      ASSERT_TRUE(enginetest::AllFinite(out));
      continue;
    }
    ASSERT_EQ(out.left, reference.left) << "blocks of " << block;
    ASSERT_EQ(out.right, reference.right) << "blocks of " << block;
  }
  // In place: the host hands the same buffers for input and output.
  HostRun run;
  run.set(kGateShuffle, 0.6f);
  Stereo buffer = in;
  for (int at = 0; at < static_cast<int>(in.size()); at += 512) {
    const int frames = std::min(512, static_cast<int>(in.size()) - at);
    run.time = VstTimeInfo{};
    run.time.ppqPos = at / 22050.0;
    run.time.tempo = 120.0;
    run.time.flags = enginetest::kPlayingFlags | (at == 0 ? kVstTransportChanged : 0);
    float* io[2] = {buffer.left.data() + at, buffer.right.data() + at};
    run.host->processReplacing(io, io, frames);
  }
  EXPECT_EQ(buffer.left, reference.left);
  EXPECT_EQ(buffer.right, reference.right);
}

// The output of one run of the default program whose time records pass
// through shape.
Stereo Quirky(const Stereo& in, int block, std::function<void(VstTimeInfo&, long long, int)> shape) {
  HostRun run;
  run.set(kGateShuffle, 0.3f);
  run.set(kStep1 + 2, 1.0f);  // step 3 on as well
  run.shape = std::move(shape);
  return run.play(in, block);
}

TEST(HostEngine, RealHostsTimeInformationSoundsLikeAnExactHost) {
  const Stereo in = Noise(2 * 44100, 8);
  const Stereo exact = Quirky(in, 512, nullptr);
  ASSERT_TRUE(enginetest::AllFinite(exact));
  const struct {
    const char* host;
    std::function<void(VstTimeInfo&, long long, int)> shape;
  } hosts[] = {
      {"position rounded to 1/1920 beat",
       [](VstTimeInfo& t, long long, int) { t.ppqPos = std::round(t.ppqPos * 1920.0) / 1920.0; }},
      {"transport-changed bit on every block",
       [](VstTimeInfo& t, long long, int) { t.flags |= kVstTransportChanged; }},
      {"no song position, only samplePos",
       [](VstTimeInfo& t, long long, int) {
         t.flags &= ~kVstPpqPosValid;
         t.ppqPos = 0.0;
       }},
      {"both at once",
       [](VstTimeInfo& t, long long, int) {
         t.ppqPos = std::round(t.ppqPos * 1920.0) / 1920.0;
         t.flags |= kVstTransportChanged;
       }},
  };
  for (const auto& h : hosts) {
    const Stereo out = Quirky(in, 512, h.shape);
    EXPECT_EQ(out.left, exact.left) << h.host;
    EXPECT_EQ(out.right, exact.right) << h.host;
  }
}

TEST(HostEngine, TransportStartInASplitBlockAndStop) {
  // A host that starts playing 752 frames into a 1024-frame period: stopped
  // for 752, then playing from beat 1 in blocks of 272 and 1024. The playing
  // part sounds as if played from beat 1 in any block size.
  const Stereo in = Noise(44100, 12);
  auto split = [&](int firstPlaying, int rest) {
    HostRun run;
    run.set(kGateShuffle, 0.0f);
    Stereo out(in.size());
    long long at = 0;
    int index = 0;
    while (at < static_cast<long long>(in.size())) {
      const bool stopped = at < 752;
      int frames = stopped ? 752 : (index == 1 ? firstPlaying : rest);
      frames = static_cast<int>(std::min<long long>(frames, in.size() - at));
      run.time = VstTimeInfo{};
      run.time.tempo = 120.0;
      run.time.samplePos = static_cast<double>(at);
      run.time.ppqPos = stopped ? 1.0 : 1.0 + (at - 752) / 22050.0;
      run.time.flags = kVstPpqPosValid | kVstTempoValid | (stopped ? 0 : kVstTransportPlaying);
      if (index == 1) run.time.flags |= kVstTransportChanged;
      float* ins[2] = {const_cast<float*>(in.left.data() + at), const_cast<float*>(in.right.data() + at)};
      float* outs[2] = {out.left.data() + at, out.right.data() + at};
      run.host->processReplacing(ins, outs, frames);
      at += frames;
      ++index;
    }
    return out;
  };
  const Stereo a = split(272, 1024), b = split(1, 1);
  EXPECT_EQ(a.left, b.left);

  // Stopping keeps the gate cycling: the pattern goes on, it is not frozen
  // or silent.
  HostRun run;
  const Stereo playing = run.play(Noise(44100, 13), 512, true, true);
  const Stereo stopped = run.play(Noise(44100 * 2, 14), 512, true, false);
  float loud = 0;
  for (float v : stopped.left) loud = std::max(loud, std::fabs(v));
  EXPECT_GT(loud, 0.05f);
  EXPECT_TRUE(enginetest::AllFinite(playing) && enginetest::AllFinite(stopped));
}

TEST(HostEngine, DisabledUnitFreezesAndResumesItsEchoes) {
  // FD1 alone, no feedback, an echo a quarter beat (5512.5 samples) later.
  // Switched off 2000 samples after the impulse and on again 30000 samples
  // later, its echo arrives 3512.5 samples after that.
  auto setUp = [](HostRun& run) {
    run.set(kGateEnable, 0.0f);
    run.set(kGateVolume, 0.0f);
    run.set(kFd2Enable, 0.0f);
    run.set(kFd1Feedback, 0.0f);
    run.set(kFd1Reso, 0.0f);
    run.set(kFd1FilterType, 1.0f);  // low-pass
    run.set(kFd1Cutoff, 1.0f);
    run.set(kFd1LfoCutoff, 0.0f);
    run.set(kFd1DelayTime, 0.25f);
  };
  Stereo impulse(2000);
  impulse.left[0] = 1.0f;
  HostRun run;
  setUp(run);
  run.play(impulse, 500);
  run.set(kFd1Enable, 0.0f);
  const Stereo off = run.play(Stereo(30000), 500);
  for (float v : off.left) ASSERT_EQ(v, 0.0f);
  run.set(kFd1Enable, 1.0f);
  const Stereo on = run.play(Stereo(8000), 500);
  int loudest = 0;
  for (int i = 1; i < 8000; ++i)
    if (std::fabs(on.left[i] + on.right[i]) > std::fabs(on.left[loudest] + on.right[loudest])) loudest = i;
  EXPECT_NEAR(loudest, 3512, 3);
  EXPECT_GT(std::fabs(on.left[loudest] + on.right[loudest]), 0.3f);
}

TEST(HostEngine, Fd2CutoffFollowsLfo1NotLfo2) {
  const Stereo in = Noise(30000, 30);
  auto render = [&](float lfo1Period, float lfo2Period) {
    HostRun run;
    run.set(kFd1Enable, 0.0f);
    run.set(kFd2LfoPan, 0.0f);
    run.set(kFd2LfoCutoff, 1.0f);
    run.set(kLfo1Period, lfo1Period);
    run.set(kLfo2Period, lfo2Period);
    return run.play(in, 1000).left;
  };
  EXPECT_EQ(render(0.2f, 0.4f), render(0.2f, 0.8f));
  EXPECT_NE(render(0.2f, 0.4f), render(0.1f, 0.4f));
}

TEST(HostEngine, MidiEventsChangeNoAudio) {
  const Stereo in = Noise(20000, 21);
  HostRun plain, withMidi;
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof note;
  note.midiData[0] = static_cast<char>(0x90);
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  VstIntPtr list[3] = {1, 0, reinterpret_cast<VstIntPtr>(&note)};
  withMidi.host->dispatch(effProcessEvents, 0, 0, list);
  const Stereo a = plain.play(in, 700);
  withMidi.host->dispatch(effProcessEvents, 0, 0, list);
  const Stereo b = withMidi.play(in, 700);
  EXPECT_EQ(a.left, b.left);
  EXPECT_EQ(a.right, b.right);
}

}  // namespace
