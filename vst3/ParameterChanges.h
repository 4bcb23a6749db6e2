#pragma once

#include <cstdint>

#include "vst3/api/Processor.h"

namespace vst3plugin {

// The host's parameter changes for one block, walked in the order of their
// sample offsets so the block can be played in parts split at them. Holds
// only a cursor per queue: nothing is allocated on the audio thread.
class ParameterChanges {
 public:
  // The effect has 62 parameters; queues past this many are ignored.
  static constexpr int kMostQueues = 128;

  struct Point {
    vst3::ParamID id;
    double value;
  };

  // changes may be null (no changes this block).
  ParameterChanges(vst3::IParameterChanges* changes, std::int32_t frames);

  // Calls apply(id, value) for every point at or before frame, in order
  // of offset (points of one offset in the host's queue order).
  template <typename Apply>
  void ApplyUpTo(std::int32_t frame, Apply&& apply) {
    for (;;) {
      int queue = -1;
      std::int32_t best = 0;
      for (int q = 0; q < queues_; ++q) {
        std::int32_t offset = 0;
        double value = 0.0;
        if (!Peek(q, offset, value) || offset > frame) continue;
        if (queue < 0 || offset < best) {
          queue = q;
          best = offset;
        }
      }
      if (queue < 0) return;
      std::int32_t offset = 0;
      double value = 0.0;
      Peek(queue, offset, value);
      ++next_[queue];
      apply(ids_[queue], value);
    }
  }
  // The offset of the next point after frame, or end when there is none
  // before it.
  std::int32_t NextAfter(std::int32_t frame, std::int32_t end);

 private:
  // The queue's next point: offsets clamped into the block (a host's point
  // past the end takes effect at the last frame).
  bool Peek(int queue, std::int32_t& offset, double& value);

  vst3::IParamValueQueue* queue_[kMostQueues] = {};
  vst3::ParamID ids_[kMostQueues] = {};
  std::int32_t next_[kMostQueues] = {};
  std::int32_t points_[kMostQueues] = {};
  int queues_ = 0;
  std::int32_t last_ = 0;
};

}  // namespace vst3plugin
