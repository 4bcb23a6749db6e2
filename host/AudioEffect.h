#pragma once

#include <atomic>

#include "host/AEffEditor.h"
#include "host/AEffectX.h"

// The base frame of an effect: owns the effect record the host holds, turns
// the record's function slots into virtual operations, and answers the base
// opcodes 0 to 24.
class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();
  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  // Virtual operations in the order of their slots.
  virtual void setSampleRate(float newSampleRate) {
    sampleRate.store(newSampleRate, std::memory_order_relaxed);
  }
  virtual void setBlockSize(VstInt32 newBlockSize) {
    blockSize.store(newBlockSize, std::memory_order_relaxed);
  }
  virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
  virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
  virtual void setParameterAutomated(VstInt32 index, float value);
  virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processReplacing(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}
  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  virtual void open() {}
  virtual void close() {}
  virtual VstInt32 getProgram() { return curProgram.load(std::memory_order_relaxed); }
  virtual void setProgram(VstInt32 program) { curProgram.store(program, std::memory_order_relaxed); }
  virtual void setProgramName(char* /*name*/) {}
  virtual void getProgramName(char* /*name*/) {}
  virtual void getParameterLabel(VstInt32 /*index*/, char* /*label*/) {}
  virtual void getParameterDisplay(VstInt32 /*index*/, char* /*text*/) {}
  virtual void getParameterName(VstInt32 /*index*/, char* /*text*/) {}
  virtual float getVu() { return 0.0f; }
  virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
  virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/) { return 0; }
  virtual void suspend() {}
  virtual void resume() {}
  virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
  virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
  virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
  virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
  virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
  virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
  virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
  virtual void setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }
  virtual void setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }
  virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
  virtual VstInt32 getMasterVersion();
  virtual VstInt32 getCurrentUniqueId();
  virtual void masterIdle();
  virtual bool isInputConnected(VstInt32 input);
  virtual bool isOutputConnected(VstInt32 output);

  // Registers the editor object the effect owns; sets or clears the has-editor flag.
  void setEditor(AEffEditor* newEditor);

  AEffect* getAeffect() { return &cEffect; }
  AEffEditor* getEditor() const { return editor; }
  float getSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
  VstInt32 getBlockSize() const { return blockSize.load(std::memory_order_relaxed); }

  // The record function that ends the instance: destroys the object and answers 1.
  static VstIntPtr dispatchEffClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt);

 protected:
  void setFlag(VstInt32 flag, bool state) {
    if (state)
      cEffect.flags |= flag;
    else
      cEffect.flags &= ~flag;
  }
  // Sends a request to the host, or answers 0 when there is no callback.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  AEffect cEffect{};
  // Shared between the host's threads (the audio thread reads them while
  // another thread may set them), hence relaxed atomics.
  std::atomic<float> sampleRate{44100.0f};
  AEffEditor* editor = nullptr;
  VstInt32 numPrograms;
  VstInt32 numParams;
  std::atomic<VstInt32> curProgram{0};
  std::atomic<VstInt32> blockSize{1024};
  audioMasterCallback audioMaster;
};

static_assert(std::atomic<float>::is_always_lock_free);
