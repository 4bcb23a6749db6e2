#include "plugin/APluginProgram.h"

#include "host/VstUtils.h"

APluginProgram::APluginProgram() {
  for (int i = parameters::kFirst; i <= parameters::kLast; ++i) values[i].store(parameters::defaultValue(i));
  setName("Basic No Gate");
}

void APluginProgram::setName(const char* text) {
  vsttext::copy(name, text, kNameCapacity);
}
