#pragma once

#include <cstdint>

#include "plugin/engine/TimeRecord.h"
#include "vst3/api/Processor.h"

namespace vst3plugin {

// The host's process context in the engine's terms, block by block. VST3
// has no "transport changed" flag: a block marks it when playback starts or
// stops, or when the song position is not where the last block ended (a
// jump, a loop), and the first block after activation does too.
class ContextTime {
 public:
  // The record for a block of frames that starts with context, or false when
  // the block has no time information: no context, or one that marks nothing
  // as known (as a VST 2 record whose flags are all 0).
  bool Read(const vst3::ProcessContext* context, std::int32_t frames, engine::TimeRecord& record);
  // The same block from frame offset on, for a block played in parts.
  static engine::TimeRecord Later(const engine::TimeRecord& start, std::int32_t offset, double sampleRate);
  // Playback begins anew (the host activated the processor again).
  void Restart() { known_ = false; }

 private:
  bool known_ = false;
  bool wasPlaying_ = false;
  std::int64_t expected_ = 0;
};

}  // namespace vst3plugin
