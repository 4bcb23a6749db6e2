#pragma once

#include <atomic>
#include <cstdint>

#include "plugin/Parameters.h"
#include "plugin/RelaxedFloat.h"
#include "plugin/core/ProgramBank.h"
#include "plugin/engine/AudioEngine.h"
#include "plugin/engine/Settings.h"
#include "plugin/engine/TimeRecord.h"

// The effect as every plug-in format shares it: the working parameter set,
// the program bank, the engine and the step each block takes. A format
// translates its host's calls, values and time into these and knows nothing
// else of the effect. Parameter and program calls may come on any thread; a
// block runs on one thread at a time.
class EffectCore {
 public:
  static constexpr int kNumPrograms = ProgramBank::kNumPrograms;

  // Program 0 in the working set.
  EffectCore();
  EffectCore(const EffectCore&) = delete;
  EffectCore& operator=(const EffectCore&) = delete;

  // --- the working set
  // A value for slot 1..61, clamped (parameters::clamped), into the working
  // set and the current program; any other slot holds nothing.
  void setParameter(int slot, float value);
  // The working value of slot 1..61; 0 for any other slot.
  float getParameter(int slot) const;
  // Slots 1..61 as one block plays them: each read once.
  engine::Settings settings() const;

  // --- programs
  // Makes a program current and copies its values into the working set;
  // answers false and changes nothing outside 0..7.
  bool setProgram(int program);
  int currentProgram() const { return programs.current(); }
  // Names the current program (at most 51 characters are kept).
  void setProgramName(const char* name);
  // A program's name; null outside 0..7.
  const char* programName(int program) const;

  // --- audio
  // One block. time is null when the host gave no time information: nothing
  // musical can be derived, so the block is silent (replacing) or adds
  // nothing (accumulating), the engine is left alone, and the missing-time
  // state is set until a block comes with time again. Inputs and outputs may
  // be the same memory. Never allocates, locks or waits.
  void processBlock(const engine::TimeRecord* time, float sampleRate, float** inputs, float** outputs,
                    std::int32_t sampleFrames, bool accumulate);

  // Whether the last block came without time information; any thread (an
  // editor's notice) may read it.
  bool timeInfoMissing() const { return timeMissing_.load(std::memory_order_relaxed) != 0; }
  // The same state as the byte an editor bridge watches.
  const std::atomic<std::uint8_t>& timeMissingState() const { return timeMissing_; }

  // The working set: slots 1..61 are the parameters; 62 holds a value a
  // format may note (the VST 2 build's last MIDI value), which no parameter
  // call reaches.
  RelaxedFloat params[parameters::kMidiValue + 1];
  ProgramBank programs;
  // The engine's running state, delay memory included (a few MiB, inline).
  engine::AudioEngine engine;

 private:
  std::atomic<std::uint8_t> timeMissing_{0};
};
