#pragma once

#include <atomic>
#include <cstdint>

#include "host/AudioEffectX.h"
#include "host/VstUtils.h"
#include "plugin/Parameters.h"
#include "plugin/RelaxedFloat.h"
#include "plugin/core/EffectCore.h"

// A program as the VST 2 build names it: the core's.
using APluginProgram = ProgramBank::Program;

// The effect as a VST 2 plug-in: the host's calls translated into the
// effect's core, and the editor object that owns the window.
class APlugin : public AudioEffectX {
 public:
  static constexpr VstInt32 kNumPrograms = EffectCore::kNumPrograms;

  explicit APlugin(audioMasterCallback audioMaster);
  ~APlugin() override;

  // Parameters.
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;

  // Programs.
  void setProgram(VstInt32 program) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

  // Audio.
  void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  VstInt32 processEvents(VstEvents* events) override;
  // The host's time record in the engine's terms (the meter only where the
  // host marks it valid).
  static engine::TimeRecord timeRecordOf(const VstTimeInfo& info);
  void suspend() override {}
  void resume() override { wantEvents(1); }

  // Identity.
  bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override { return 1; }
  VstInt32 canDo(char* text) override;

  const char* getHostVendor() const { return hostVendor; }
  const char* getHostProduct() const { return hostProduct; }
  bool isEditorClosed() const { return editorclosed.load(std::memory_order_relaxed) != 0; }

  // A block came without time information: the open editor shows its notice
  // while this holds.
  bool timeInfoMissing() const { return core.timeInfoMissing(); }

  EffectCore core;
  // The working set (slots 1..61, and 62 for the last MIDI value) and the
  // programs, as the core holds them.
  RelaxedFloat (&params)[parameters::kMidiValue + 1] = core.params;
  ProgramBank& programs = core.programs;

 private:
  void runBlock(float** inputs, float** outputs, VstInt32 sampleFrames, bool accumulate);
  void updateEditor();

  // 1 while the editor window does not exist; the bridge keeps it current.
  std::atomic<std::uint8_t> editorclosed{0};
  char hostVendor[vsttext::kHostTextCapacity] = {};
  char hostProduct[vsttext::kHostTextCapacity] = {};
};
