#include "host/AudioEffect.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

AudioEffect* effectOf(AEffect* e) {
  return e != nullptr ? static_cast<AudioEffect*>(e->object) : nullptr;
}

// The record's function slots. Nothing thrown inside the plug-in may cross
// into the host, so the slots that can reach non-audio code catch everything.
void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
  if (AudioEffect* effect = effectOf(e)) effect->process(inputs, outputs, sampleFrames);
}

void processReplacingClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
  if (AudioEffect* effect = effectOf(e)) effect->processReplacing(inputs, outputs, sampleFrames);
}

void setParameterClass(AEffect* e, VstInt32 index, float value) {
  if (AudioEffect* effect = effectOf(e)) effect->setParameter(index, value);
}

float getParameterClass(AEffect* e, VstInt32 index) {
  AudioEffect* effect = effectOf(e);
  return effect != nullptr ? effect->getParameter(index) : 0.0f;
}

VstInt32 clampToInt32(VstIntPtr value) {
  return static_cast<VstInt32>(std::clamp<VstIntPtr>(value, INT_MIN, INT_MAX));
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : numPrograms(numPrograms), numParams(numParams), audioMaster(audioMaster) {
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatchEffClass;
  cEffect.process = processClass;
  cEffect.setParameter = setParameterClass;
  cEffect.getParameter = getParameterClass;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = 0;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.user = nullptr;
  cEffect.uniqueID = FourCharCode('N', 'o', 'E', 'f');
  cEffect.version = 1;
  cEffect.processReplacing = processReplacingClass;
}

AudioEffect::~AudioEffect() {
  delete editor;
}

VstIntPtr AudioEffect::dispatchEffClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                        void* ptr, float opt) {
  AudioEffect* effect = effectOf(e);
  if (effect == nullptr) return 0;
  try {
    if (opcode == effClose) {
      effect->dispatcher(opcode, index, value, ptr, opt);
      delete effect;
      return 1;
    }
    return effect->dispatcher(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  setFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return audioMaster != nullptr ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  if (audioMaster != nullptr) callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
  if (audioMaster == nullptr) return 1;
  const VstIntPtr version = callHost(audioMasterVersion);
  return version == 0 ? 1 : clampToInt32(version);
}

VstInt32 AudioEffect::getCurrentUniqueId() {
  return clampToInt32(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
  callHost(audioMasterIdle);
}

bool AudioEffect::isInputConnected(VstInt32 input) {
  if (audioMaster == nullptr) return true;
  return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
  if (audioMaster == nullptr) return true;
  return callHost(audioMasterPinConnected, output, 1) == 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      if (value < numPrograms) setProgram(clampToInt32(value));
      return 0;
    case effGetProgram:
      return getProgram();
    case effSetProgramName:
      if (ptr != nullptr) setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      if (ptr != nullptr) getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      if (ptr != nullptr) getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      if (ptr != nullptr) getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      if (ptr != nullptr) getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effGetVu: {
      // Scaled to the interface's integer range; a value outside it is clamped
      // rather than converted with undefined results.
      const double scaled = std::nearbyint(static_cast<double>(getVu()) * 32767.0);
      if (!(scaled == scaled)) return 0;
      return static_cast<VstIntPtr>(std::clamp(scaled, -2147483648.0, 2147483647.0));
    }
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(clampToInt32(value));
      return 0;
    case effMainsChanged:
      if (value == 0)
        suspend();
      else
        resume();
      return 0;
    case effEditGetRect:
      if (editor == nullptr || ptr == nullptr) return 0;
      return editor->getRect(static_cast<ERect**>(ptr));
    case effEditOpen:
      return editor != nullptr ? editor->open(ptr) : 0;
    case effEditClose:
      if (editor != nullptr) editor->close();
      return 0;
    case effEditIdle:
      if (editor != nullptr) editor->idle();
      return 0;
    case effIdentify:
      return FourCharCode('N', 'v', 'E', 'f');
    case effGetChunk:
      return ptr != nullptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk:
      return ptr != nullptr ? setChunk(ptr, clampToInt32(value), index != 0) : 0;
    default:
      return 0;
  }
}
