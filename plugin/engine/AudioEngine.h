#pragma once

// The audio engine's running state. (Filled in with the gate, the two
// filter-and-delay units and the LFOs by the engine work.)
struct AudioEngine {
  float DelayBuffer[2][192000] = {};
};
