#pragma once

// The audio processor: set-up, the block a host processes, the host's
// transport and the parameter changes that come with a block.

#include "vst3/api/Base.h"
#include "vst3/api/Component.h"

namespace vst3 {

using ParamID = uint32;
using ParamValue = double;
using Sample32 = float;
using Sample64 = double;
using SampleRate = double;
using TSamples = int64;
using TQuarterNotes = double;
using Speaker = uint64;
using SpeakerArrangement = uint64;

inline constexpr Speaker kSpeakerL = 1 << 0;
inline constexpr Speaker kSpeakerR = 1 << 1;
inline constexpr Speaker kSpeakerM = 1 << 19;

namespace SpeakerArr {
inline constexpr SpeakerArrangement kEmpty = 0;
inline constexpr SpeakerArrangement kMono = kSpeakerM;
inline constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;
}  // namespace SpeakerArr

enum ProcessModes : int32 { kRealtime = 0, kPrefetch, kOffline };
enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 };

// getTailSamples answers.
inline constexpr uint32 kNoTail = 0;
inline constexpr uint32 kInfiniteTail = 0xFFFFFFFFu;

struct ProcessSetup {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 maxSamplesPerBlock;
  SampleRate sampleRate;
};

struct AudioBusBuffers {
  int32 numChannels;
  uint64 silenceFlags;
  union {
    Sample32** channelBuffers32;
    Sample64** channelBuffers64;
  };
};

struct Chord {
  enum Masks { kChordMask = 0x0FFF, kReservedMask = 0xF000 };

  uint8 keyNote;
  uint8 rootNote;
  int16 chordMask;
};

struct FrameRate {
  enum FrameRateFlags : uint32 { kPullDownRate = 1 << 0, kDropRate = 1 << 1 };

  uint32 framesPerSecond;
  uint32 flags;
};

struct ProcessContext {
  enum StatesAndFlags : uint32 {
    kPlaying = 1 << 1,
    kCycleActive = 1 << 2,
    kRecording = 1 << 3,
    kSystemTimeValid = 1 << 8,
    kContTimeValid = 1 << 17,
    kProjectTimeMusicValid = 1 << 9,
    kBarPositionValid = 1 << 11,
    kCycleValid = 1 << 12,
    kTempoValid = 1 << 10,
    kTimeSigValid = 1 << 13,
    kChordValid = 1 << 18,
    kSmpteValid = 1 << 14,
    kClockValid = 1 << 15,
  };

  uint32 state;
  double sampleRate;
  TSamples projectTimeSamples;
  int64 systemTime;
  TSamples continousTimeSamples;
  TQuarterNotes projectTimeMusic;
  TQuarterNotes barPositionMusic;
  TQuarterNotes cycleStartMusic;
  TQuarterNotes cycleEndMusic;
  double tempo;
  int32 timeSigNumerator;
  int32 timeSigDenominator;
  Chord chord;
  int32 smpteOffsetSubframes;
  FrameRate frameRate;
  int32 samplesToNextClock;
};

// The changes of one parameter within a block, in sample order.
struct IParamValueQueue : FUnknown {
  virtual ParamID VST3_CALL getParameterId() = 0;
  virtual int32 VST3_CALL getPointCount() = 0;
  virtual tresult VST3_CALL getPoint(int32 index, int32& sampleOffset, ParamValue& value) = 0;
  virtual tresult VST3_CALL addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;

  static constexpr Uid iid = makeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
};

struct IParameterChanges : FUnknown {
  virtual int32 VST3_CALL getParameterCount() = 0;
  virtual IParamValueQueue* VST3_CALL getParameterData(int32 index) = 0;
  virtual IParamValueQueue* VST3_CALL addParameterData(const ParamID& id, int32& index) = 0;

  static constexpr Uid iid = makeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
};

// Note and other events; an effect without event buses never reads one, so
// the record is only declared.
struct Event;

struct IEventList : FUnknown {
  virtual int32 VST3_CALL getEventCount() = 0;
  virtual tresult VST3_CALL getEvent(int32 index, Event& e) = 0;
  virtual tresult VST3_CALL addEvent(Event& e) = 0;

  static constexpr Uid iid = makeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
};

struct ProcessData {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 numSamples;
  int32 numInputs;
  int32 numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};

struct IAudioProcessor : FUnknown {
  virtual tresult VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                               SpeakerArrangement* outputs, int32 numOuts) = 0;
  virtual tresult VST3_CALL getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) = 0;
  virtual tresult VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
  virtual uint32 VST3_CALL getLatencySamples() = 0;
  virtual tresult VST3_CALL setupProcessing(ProcessSetup& setup) = 0;
  virtual tresult VST3_CALL setProcessing(TBool state) = 0;
  virtual tresult VST3_CALL process(ProcessData& data) = 0;
  virtual uint32 VST3_CALL getTailSamples() = 0;

  static constexpr Uid iid = makeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
};

// Which fields of ProcessContext the processor reads; a host may fill only those.
struct IProcessContextRequirements : FUnknown {
  enum Flags : uint32 {
    kNeedSystemTime = 1 << 0,
    kNeedContinousTimeSamples = 1 << 1,
    kNeedProjectTimeMusic = 1 << 2,
    kNeedBarPositionMusic = 1 << 3,
    kNeedCycleMusic = 1 << 4,
    kNeedSamplesToNextClock = 1 << 5,
    kNeedTempo = 1 << 6,
    kNeedTimeSignature = 1 << 7,
    kNeedChord = 1 << 8,
    kNeedFrameRate = 1 << 9,
    kNeedTransportState = 1 << 10,
  };

  virtual uint32 VST3_CALL getProcessContextRequirements() = 0;

  static constexpr Uid iid = makeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
};

}  // namespace vst3
