#include "host/AudioEffectX.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

VstInt32 toInt32(VstIntPtr value) {
  return static_cast<VstInt32>(std::clamp<VstIntPtr>(value, INT_MIN, INT_MAX));
}

// opt carries the key modifier as a float; round it half to even into a byte
// without undefined conversions for wild values.
unsigned char modifierByte(float opt) {
  const double rounded = std::nearbyint(static_cast<double>(opt));
  if (!(rounded >= 0.0 && rounded <= 255.0)) return 0;
  return static_cast<unsigned char>(rounded);
}

}  // namespace

// Host requests.

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

VstInt32 AudioEffectX::tempoAt(VstInt32 pos) {
  return toInt32(callHost(audioMasterTempoAt, 0, pos));
}

VstInt32 AudioEffectX::getNumAutomatableParameters() {
  return toInt32(callHost(audioMasterGetNumAutomatableParameters));
}

VstInt32 AudioEffectX::getParameterQuantization() {
  return toInt32(callHost(audioMasterGetParameterQuantization));
}

bool AudioEffectX::ioChanged() {
  return callHost(audioMasterIOChanged) != 0;
}

bool AudioEffectX::needIdle() {
  return callHost(audioMasterNeedIdle) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return callHost(audioMasterSizeWindow, width, height) != 0;
}

double AudioEffectX::updateSampleRate() {
  callHost(audioMasterGetSampleRate);
  return sampleRate.load(std::memory_order_relaxed);
}

VstInt32 AudioEffectX::updateBlockSize() {
  callHost(audioMasterGetBlockSize);
  return blockSize.load(std::memory_order_relaxed);
}

VstInt32 AudioEffectX::getInputLatency() {
  return toInt32(callHost(audioMasterGetInputLatency));
}

VstInt32 AudioEffectX::getOutputLatency() {
  return toInt32(callHost(audioMasterGetOutputLatency));
}

AEffect* AudioEffectX::getPreviousPlug(VstInt32 /*input*/) {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug));
}

AEffect* AudioEffectX::getNextPlug(VstInt32 /*output*/) {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug));
}

VstInt32 AudioEffectX::willProcessReplacing() {
  return toInt32(callHost(audioMasterWillReplaceOrAccumulate));
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
  return toInt32(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 AudioEffectX::getAutomationState() {
  return toInt32(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::offlineRead(void* offline, VstInt32 option, bool readSource) {
  return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool AudioEffectX::offlineWrite(void* offline, VstInt32 option) {
  return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}

bool AudioEffectX::offlineStart(void* audioFiles, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles) {
  return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles) != 0;
}

VstInt32 AudioEffectX::offlineGetCurrentPass() {
  return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0;
}

VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
  return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}

void AudioEffectX::setOutputSampleRate(float rate) {
  callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}

bool AudioEffectX::getSpeakerArrangement(void* input, void* output) {
  return callHost(audioMasterGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(input), output) != 0;
}

bool AudioEffectX::getHostVendorString(char* text) {
  return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
  return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion() {
  return toInt32(callHost(audioMasterGetVendorVersion));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 first, VstIntPtr second, void* pointer, float value) {
  return callHost(audioMasterVendorSpecific, first, second, pointer, value);
}

VstInt32 AudioEffectX::canHostDo(char* text) {
  return callHost(audioMasterCanDo, 0, 0, text) != 0 ? 1 : 0;
}

VstInt32 AudioEffectX::getHostLanguage() {
  return toInt32(callHost(audioMasterGetLanguage));
}

void* AudioEffectX::openWindow(void* window) {
  return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}

bool AudioEffectX::closeWindow(void* window) {
  return callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}

void* AudioEffectX::getDirectory() {
  return reinterpret_cast<void*>(callHost(audioMasterGetDirectory));
}

bool AudioEffectX::updateDisplay() {
  return callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::beginEdit(VstInt32 index) {
  return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index) {
  return callHost(audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::openFileSelector(void* ptr) {
  if (ptr == nullptr) return false;
  return callHost(audioMasterOpenFileSelector, 0, 0, ptr) != 0;
}

void AudioEffectX::wantEvents(VstInt32 filter) {
  callHost(audioMasterWantMidi, 0, filter);
}

// The extended dispatcher: opcodes 25 to 68 here, everything else to the base table.
VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effProcessEvents:
      return ptr != nullptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
    case effCanBeAutomated:
      return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
      return ptr != nullptr && string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetNumProgramCategories:
      return getNumCategories();
    case effGetProgramNameIndexed:
      return ptr != nullptr && getProgramNameIndexed(toInt32(value), index, static_cast<char*>(ptr)) ? 1 : 0;
    case effCopyProgram:
      return copyProgram(index) ? 1 : 0;
    case effConnectInput:
      inputConnected(index, value != 0);
      return 1;
    case effConnectOutput:
      outputConnected(index, value != 0);
      return 1;
    case effGetInputProperties:
      return ptr != nullptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetOutputProperties:
      return ptr != nullptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory:
      return getPlugCategory();
    case effGetCurrentPosition:
      return reportCurrentPosition();
    case effGetDestinationBuffer:
      return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
    case effOfflineNotify:
      return offlineNotify(ptr, toInt32(value), index != 0) ? 1 : 0;
    case effOfflinePrepare:
      return offlinePrepare(ptr, toInt32(value)) ? 1 : 0;
    case effOfflineRun:
      return offlineRun(ptr, toInt32(value)) ? 1 : 0;
    case effProcessVarIo:
      return processVariableIo(ptr) ? 1 : 0;
    case effSetSpeakerArrangement:
      return setSpeakerArrangement(reinterpret_cast<void*>(value), ptr) ? 1 : 0;
    case effSetBlockSizeAndSampleRate:
      setBlockSizeAndSampleRate(toInt32(value), opt);
      return 1;
    case effSetBypass:
      return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
      return ptr != nullptr && getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetErrorText:
      return ptr != nullptr && getErrorText(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString:
      return ptr != nullptr && getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString:
      return ptr != nullptr && getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion:
      return getVendorVersion();
    case effVendorSpecific:
      return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return ptr != nullptr ? canDo(static_cast<char*>(ptr)) : 0;
    case effGetTailSize:
      return getGetTailSize();
    case effIdle:
      return fxIdle();
    case effGetIcon:
      return reinterpret_cast<VstIntPtr>(getIcon());
    case effSetViewPosition:
      return setViewPosition(index, toInt32(value)) ? 1 : 0;
    case effGetParameterProperties:
      return ptr != nullptr && getParameterProperties(index, ptr) ? 1 : 0;
    case effKeysRequired:
      return keysRequired() ? 0 : 1;
    case effGetVstVersion:
      return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
      if (editor == nullptr) return 0;
      VstKeyCode keyCode{index, static_cast<unsigned char>(value & 0xFF), modifierByte(opt)};
      return opcode == effEditKeyDown ? editor->onKeyDown(keyCode) : editor->onKeyUp(keyCode);
    }
    case effSetEditKnobMode:
      return editor != nullptr ? editor->setKnobMode(toInt32(value)) : 0;
    case effGetMidiProgramName:
      return ptr != nullptr ? getMidiProgramName(index, ptr) : 0;
    case effGetCurrentMidiProgram:
      return getCurrentMidiProgram(index, ptr);
    case effGetMidiProgramCategory:
      return ptr != nullptr ? getMidiProgramCategory(index, ptr) : 0;
    case effHasMidiProgramsChanged:
      return hasMidiProgramsChanged(index) ? 1 : 0;
    case effGetMidiKeyName:
      return ptr != nullptr && getMidiKeyName(index, ptr) ? 1 : 0;
    case effBeginSetProgram:
      return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
      return endSetProgram() ? 1 : 0;
    default:
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}
