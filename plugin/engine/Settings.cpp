#include "plugin/engine/Settings.h"

#include "plugin/Parameters.h"

namespace engine {

using namespace parameters;

Settings Settings::FromSlots(const float* slots) {
  Settings s;
  for (int n = 0; n < 16; ++n) {
    s.Step[n] = slots[kStep1 + n];
    s.Tie[n] = slots[kTie1 + n];
  }
  s.GateEnable = slots[kGateEnable];
  s.GateAttack = slots[kGateAttack];
  s.GateDecay = slots[kGateDecay];
  s.GateShuffle = slots[kGateShuffle];
  s.GateVolume = slots[kGateVolume];
  const int volume[2] = {kFd1Volume, kFd2Volume};
  const int first[2] = {kFd1Enable, kFd2Enable};
  // The two units' slots are laid out alike from their "Enable" slot.
  static_assert(kFd1Enable + 9 == kFd1LfoPan && kFd2Enable + 9 == kFd2LfoPan);
  for (int u = 0; u < 2; ++u) {
    const float* p = slots + first[u];
    s.Fd[u] = Unit{slots[volume[u]], p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[8], p[9]};
  }
  static_assert(kFd1Enable + 8 == kFd1LfoCutoff && kFd1Enable + 7 == kFd1DelaySync);
  s.LfoPeriod[0] = slots[kLfo1Period];
  s.LfoPeriod[1] = slots[kLfo2Period];
  return s;
}

Settings Settings::Defaults() {
  float slots[kLast + 1] = {};
  for (int i = kFirst; i <= kLast; ++i) slots[i] = defaultValue(i);
  return FromSlots(slots);
}

}  // namespace engine
