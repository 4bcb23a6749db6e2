#pragma once

#include "host/AudioEffect.h"

// The extended frame: the host requests of the extended interface and the
// extended opcodes 25 to 68. Adds operations, no fields.
class AudioEffectX : public AudioEffect {
 public:
  using AudioEffect::AudioEffect;

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  // Virtual operations in the order of their slots (38 onwards).
  virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
  virtual VstInt32 tempoAt(VstInt32 pos);
  virtual VstInt32 processEvents(VstEvents* /*events*/) { return 0; }
  virtual VstInt32 getNumAutomatableParameters();
  virtual VstInt32 getParameterQuantization();
  virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
  virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
  virtual float getChannelParameter(VstInt32 /*channel*/, VstInt32 /*index*/) { return 0.0f; }
  virtual VstInt32 getNumCategories() { return 1; }
  virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/) {
    return false;
  }
  virtual bool copyProgram(VstInt32 /*destination*/) { return false; }
  virtual bool ioChanged();
  virtual bool needIdle();
  virtual bool sizeWindow(VstInt32 width, VstInt32 height);
  virtual double updateSampleRate();
  virtual VstInt32 updateBlockSize();
  virtual VstInt32 getInputLatency();
  virtual VstInt32 getOutputLatency();
  virtual AEffect* getPreviousPlug(VstInt32 input);
  virtual AEffect* getNextPlug(VstInt32 output);
  virtual void inputConnected(VstInt32 /*index*/, bool /*state*/) {}
  virtual void outputConnected(VstInt32 /*index*/, bool /*state*/) {}
  virtual bool getInputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) { return false; }
  virtual bool getOutputProperties(VstInt32 /*index*/, VstPinProperties* /*properties*/) { return false; }
  virtual VstInt32 getPlugCategory() { return (cEffect.flags & effFlagsIsSynth) != 0 ? 2 : 0; }
  virtual VstInt32 willProcessReplacing();
  virtual VstInt32 getCurrentProcessLevel();
  virtual VstInt32 getAutomationState();
  virtual void wantAsyncOperation(bool state) { setFlag(effFlagsExtIsAsync, state); }
  virtual void hasExternalBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
  virtual VstInt32 reportCurrentPosition() { return 0; }
  virtual float* reportDestinationBuffer() { return nullptr; }
  virtual bool offlineRead(void* offline, VstInt32 option, bool readSource);
  virtual bool offlineWrite(void* offline, VstInt32 option);
  virtual bool offlineStart(void* audioFiles, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles);
  virtual VstInt32 offlineGetCurrentPass();
  virtual VstInt32 offlineGetCurrentMetaPass();
  virtual bool offlineNotify(void* /*audioFiles*/, VstInt32 /*count*/, bool /*start*/) { return false; }
  virtual bool offlinePrepare(void* /*offline*/, VstInt32 /*count*/) { return false; }
  virtual bool offlineRun(void* /*offline*/, VstInt32 /*count*/) { return false; }
  // Two further offline queries that no opcode reaches.
  virtual VstInt32 offlineGetNumPasses() { return 0; }
  virtual VstInt32 offlineGetNumMetaPasses() { return 0; }
  virtual void setOutputSampleRate(float sampleRate);
  virtual bool getSpeakerArrangement(void* input, void* output);
  virtual bool getHostVendorString(char* text);
  virtual bool getHostProductString(char* text);
  virtual VstInt32 getHostVendorVersion();
  virtual VstIntPtr hostVendorSpecific(VstInt32 first, VstIntPtr second, void* pointer, float value);
  virtual VstInt32 canHostDo(char* text);
  virtual void isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
  virtual void noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
  virtual VstInt32 getHostLanguage();
  virtual void* openWindow(void* window);
  virtual bool closeWindow(void* window);
  virtual void* getDirectory();
  virtual bool updateDisplay();
  virtual bool processVariableIo(void* /*varIo*/) { return false; }
  virtual bool setSpeakerArrangement(void* /*input*/, void* /*output*/) { return false; }
  virtual void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
    blockSize.store(newBlockSize, std::memory_order_relaxed);
    sampleRate.store(newSampleRate, std::memory_order_relaxed);
  }
  virtual bool setBypass(bool /*onOff*/) { return false; }
  virtual bool getEffectName(char* /*name*/) { return false; }
  virtual bool getErrorText(char* /*text*/) { return false; }
  virtual bool getVendorString(char* /*text*/) { return false; }
  virtual bool getProductString(char* /*text*/) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstIntPtr vendorSpecific(VstInt32 /*first*/, VstIntPtr /*second*/, void* /*pointer*/,
                                   float /*value*/) {
    return 0;
  }
  virtual VstInt32 canDo(char* /*text*/) { return 0; }
  virtual void* getIcon() { return nullptr; }
  virtual bool setViewPosition(VstInt32 /*x*/, VstInt32 /*y*/) { return false; }
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual VstInt32 fxIdle() { return 0; }
  virtual bool getParameterProperties(VstInt32 /*index*/, void* /*properties*/) { return false; }
  virtual bool keysRequired() { return false; }
  virtual VstInt32 getVstVersion() { return 2200; }
  virtual VstInt32 getMidiProgramName(VstInt32 /*channel*/, void* /*name*/) { return 0; }
  virtual VstInt32 getCurrentMidiProgram(VstInt32 /*channel*/, void* /*current*/) { return -1; }
  virtual VstInt32 getMidiProgramCategory(VstInt32 /*channel*/, void* /*category*/) { return 0; }
  virtual bool hasMidiProgramsChanged(VstInt32 /*channel*/) { return false; }
  virtual bool getMidiKeyName(VstInt32 /*channel*/, void* /*keyName*/) { return false; }
  virtual bool beginSetProgram() { return false; }
  virtual bool endSetProgram() { return false; }
  virtual bool beginEdit(VstInt32 index);
  virtual bool endEdit(VstInt32 index);
  virtual bool openFileSelector(void* ptr);

  // Asks the host for MIDI events (non-virtual).
  void wantEvents(VstInt32 filter = 1);
};
