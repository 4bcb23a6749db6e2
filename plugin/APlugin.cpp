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
  setEditor(new APluginEditor(this, editorclosed, &timeinfonotice));
  // The engine's start values are set by its own constructor; the programs by
  // theirs (defaults and "Basic No Gate").
  hasVu(false);
  setNumInputs(2);
  setNumOutputs(2);
  canMono(true);
  canProcessReplacing(true);
  isSynth(false);
  setUniqueID(FourCharCode('p', '6', 'v', '2'));
  for (int i = 0; i < kNumPrograms; ++i) {
    char name[APluginProgram::kNameCapacity];
    std::snprintf(name, sizeof name, "Init Preset %02d", i + 1);
    programs[i].setName(name);
  }
  curProgram.store(0, std::memory_order_relaxed);
  setProgram(0);
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
  if (value > 1.0f) value = 1.0f;
  if (!(value >= 0.0f)) value = 0.0f;
  value += 0.0f;  // a host's -0.0 is stored as 0.0 (and never shown as "-0.00")
  if (parameters::isValueSlot(index)) {
    params[index].store(value);
    programs[currentProgram()].values[index].store(value);
  }
  updateEditor();
}

float APlugin::getParameter(VstInt32 index) {
  return parameters::isValueSlot(index) ? params[index].load() : 0.0f;
}

void APlugin::getParameterLabel(VstInt32 /*index*/, char* label) {
  vsttext::copy(label, "%", vsttext::kParameterTextCapacity);
}

void APlugin::getParameterDisplay(VstInt32 index, char* text) {
  // Shown as a percentage, matching the "%" label.
  const float shown = parameters::isValueSlot(index) ? params[index].load() * 100.0f : 0.0f;
  float2string(shown, text, vsttext::kParameterTextCapacity);
}

void APlugin::getParameterName(VstInt32 index, char* text) {
  vsttext::copy(text, parameters::name(index), vsttext::kParameterTextCapacity);
}

void APlugin::setProgram(VstInt32 program) {
  if (program < 0 || program >= kNumPrograms) return;
  curProgram.store(program, std::memory_order_relaxed);
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i)
    setParameter(i, programs[program].values[i].load());
  if (!isEditorClosed()) updateEditor();
}

void APlugin::setProgramName(char* name) {
  if (name == nullptr) return;
  programs[currentProgram()].setName(name);
  if (!isEditorClosed()) updateEditor();
}

void APlugin::getProgramName(char* name) {
  vsttext::copy(name, programs[currentProgram()].name, vsttext::kProgramNameCapacity);
}

bool APlugin::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
  if (index < 0 || index >= kNumPrograms || text == nullptr) return false;
  vsttext::copy(text, programs[index].name, vsttext::kProgramNameCapacity);
  return true;
}

float APlugin::getVu() {
  const float value = vu;
  vu = 0.0f;
  return value;
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
