#include "plugin/APlugin.h"

#include <cstdio>
#include <cstring>

#include "editor/APluginEditor.h"

namespace {

constexpr const char* kEffectName = "plonkrift6v2";
constexpr const char* kVendor = "plonkrift";
constexpr const char* kProduct = "plonkrift6 v2";

}  // namespace

APlugin::APlugin(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, parameters::kNumSlots) {
  setEditor(new APluginEditor(this, editorclosed, &core.timeMissingState()));
  // The core made the engine's start values and the programs, with program
  // 0 in the working set.
  hasVu(false);
  setNumInputs(2);
  setNumOutputs(2);
  canMono(true);
  canProcessReplacing(true);
  isSynth(false);
  setUniqueID(FourCharCode('p', '6', 'v', '2'));
  curProgram.store(core.currentProgram(), std::memory_order_relaxed);
  updateEditor();
  getHostVendorString(hostVendor);
  getHostProductString(hostProduct);
  // A host may write no terminator; keep both texts bounded.
  hostVendor[sizeof hostVendor - 1] = '\0';
  hostProduct[sizeof hostProduct - 1] = '\0';
}

APlugin::~APlugin() {
  // The editor goes while the whole effect still exists: a window closed
  // mid-gesture still tells the host that the edit ended.
  AEffEditor* owned = editor;
  setEditor(nullptr);
  delete owned;
}

void APlugin::updateEditor() {
  if (editor != nullptr) editor->update();
}

void APlugin::setParameter(VstInt32 index, float value) {
  core.setParameter(index, value);
  updateEditor();
}

float APlugin::getParameter(VstInt32 index) {
  return core.getParameter(index);
}

void APlugin::getParameterLabel(VstInt32 /*index*/, char* label) {
  vsttext::copy(label, "%", vsttext::kParameterTextCapacity);
}

void APlugin::getParameterDisplay(VstInt32 index, char* text) {
  // Shown as a percentage, matching the "%" label.
  const float shown = core.getParameter(index) * 100.0f;
  float2string(shown, text, vsttext::kParameterTextCapacity);
}

void APlugin::getParameterName(VstInt32 index, char* text) {
  vsttext::copy(text, parameters::name(index), vsttext::kParameterTextCapacity);
}

void APlugin::setProgram(VstInt32 program) {
  if (!core.setProgram(program)) return;
  curProgram.store(program, std::memory_order_relaxed);
  updateEditor();
}

void APlugin::setProgramName(char* name) {
  if (name == nullptr) return;
  core.setProgramName(name);
  if (!isEditorClosed()) updateEditor();
}

void APlugin::getProgramName(char* name) {
  vsttext::copy(name, core.programName(core.currentProgram()), vsttext::kProgramNameCapacity);
}

bool APlugin::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
  const char* name = core.programName(index);
  if (name == nullptr || text == nullptr) return false;
  vsttext::copy(text, name, vsttext::kProgramNameCapacity);
  return true;
}

bool APlugin::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
  if ((index != 0 && index != 1) || properties == nullptr) return false;
  std::snprintf(properties->label, sizeof properties->label, "pkr6 %d", index + 1);
  properties->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}

bool APlugin::getEffectName(char* name) {
  vsttext::copy(name, kEffectName, vsttext::kIdentityTextCapacity);
  return true;
}

bool APlugin::getVendorString(char* text) {
  vsttext::copy(text, kVendor, vsttext::kIdentityTextCapacity);
  return true;
}

bool APlugin::getProductString(char* text) {
  vsttext::copy(text, kProduct, vsttext::kIdentityTextCapacity);
  return true;
}

VstInt32 APlugin::canDo(char* text) {
  if (text == nullptr) return -1;
  static constexpr const char* kCanDo[] = {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"};
  for (const char* known : kCanDo) {
    // strncmp over the known text and its terminator reads no further than
    // the shorter of the two texts.
    if (std::strncmp(text, known, std::strlen(known) + 1) == 0) return 1;
  }
  return -1;
}
