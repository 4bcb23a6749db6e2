// A fixed job for counting instructions per stereo frame with callgrind:
// engine_frames [frames] [block] [rate]. Only engine::AudioEngine::ProcessBlock
// should be collected (see README.md beside this file); the frame count is
// printed to divide by.

#include <cstdio>
#include <cstdlib>

#include "bench/engine/EngineRig.h"

int main(int argc, char** argv) {
  const long frames = argc > 1 ? std::atol(argv[1]) : 441000;
  const int block = argc > 2 ? std::atoi(argv[2]) : 512;
  const double rate = argc > 3 ? std::atof(argv[3]) : 44100.0;
  if (frames <= 0 || block <= 0 || !(rate > 0)) {
    std::fprintf(stderr, "usage: engine_frames [frames] [block] [rate]\n");
    return 2;
  }
  enginebench::Rig rig(rate, block);
  const long blocks = frames / block;
  for (long i = 0; i < blocks; ++i) rig.run();
  std::printf("%ld frames in blocks of %d at %.0f Hz\n", blocks * block, block, rate);
  return 0;
}
