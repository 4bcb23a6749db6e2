#pragma once

#include <atomic>
#include <cstdint>

#include "host/AudioEffectX.h"
#include "host/RelaxedFloat.h"
#include "host/VstUtils.h"
#include "plugin/APluginProgram.h"
#include "plugin/Parameters.h"
#include "plugin/engine/AudioEngine.h"

// The effect: parameters and programs, the audio engine, and the editor
// object that owns the window.
class APlugin : public AudioEffectX {
 public:
  static constexpr VstInt32 kNumPrograms = 8;

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
  void suspend() override {}
  void resume() override { wantEvents(1); }

  // Identity.
  float getVu() override;
  bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override { return 1; }
  VstInt32 canDo(char* text) override;

  const char* getHostVendor() const { return hostVendor; }
  const char* getHostProduct() const { return hostProduct; }
  bool isEditorClosed() const { return editorclosed.load(std::memory_order_relaxed) != 0; }

  // A block came without time information: the audio thread only notes it;
  // the open editor shows "VSTTimeInfo not supported - aborting" while it
  // holds (a modal box on the audio thread would stall the host).
  static constexpr const char* kTimeInfoMessage = "VSTTimeInfo not supported - aborting";
  bool timeInfoMissing() const { return timeinfonotice.load(std::memory_order_relaxed) != 0; }

  // The working set: slots 1..61 are the parameters, 62 is the last MIDI value.
  RelaxedFloat params[parameters::kMidiValue + 1];
  // The engine's running state, delay memory included; lives inside the object.
  AudioEngine engine;

 private:
  void updateEditor();
  // curProgram, read once and known to index a program.
  int currentProgram() const {
    const VstInt32 program = curProgram.load(std::memory_order_relaxed);
    return program >= 0 && program < kNumPrograms ? program : 0;
  }

  APluginProgram programs[kNumPrograms];
  // 1 while the editor window does not exist; the bridge keeps it current.
  std::atomic<std::uint8_t> editorclosed{0};
  char hostVendor[vsttext::kHostTextCapacity] = {};
  char hostProduct[vsttext::kHostTextCapacity] = {};
  float vu = 0.0f;
  // 0 until a block lacks time information, 1 then, 2 once the message was taken.
  std::atomic<std::uint8_t> timeinfonotice{0};
};
