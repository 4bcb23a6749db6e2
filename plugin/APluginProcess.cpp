#include <cstring>

#include "plugin/APlugin.h"

// Block operations. Until the engine runs, the effect is silent.
void APlugin::process(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}

void APlugin::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
  if (outputs == nullptr || sampleFrames <= 0) return;
  for (int channel = 0; channel < 2; ++channel)
    if (outputs[channel] != nullptr) std::memset(outputs[channel], 0, sizeof(float) * sampleFrames);
}

VstInt32 APlugin::processEvents(VstEvents* /*events*/) { return 1; }
