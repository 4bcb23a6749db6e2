#include "vst3/ParameterChanges.h"

namespace vst3plugin {

ParameterChanges::ParameterChanges(vst3::IParameterChanges* changes, std::int32_t frames)
    : last_(frames > 0 ? frames - 1 : 0) {
  if (changes == nullptr) return;
  const std::int32_t count = changes->getParameterCount();
  for (std::int32_t i = 0; i < count && queues_ < kMostQueues; ++i) {
    vst3::IParamValueQueue* queue = changes->getParameterData(i);
    if (queue == nullptr) continue;
    const std::int32_t points = queue->getPointCount();
    if (points <= 0) continue;
    queue_[queues_] = queue;
    ids_[queues_] = queue->getParameterId();
    points_[queues_] = points;
    ++queues_;
  }
}

bool ParameterChanges::Peek(int queue, std::int32_t& offset, double& value) {
  while (next_[queue] < points_[queue]) {
    std::int32_t at = 0;
    double v = 0.0;
    if (queue_[queue]->getPoint(next_[queue], at, v) == vst3::kResultOk) {
      offset = at < 0 ? 0 : at > last_ ? last_ : at;
      value = v;
      return true;
    }
    ++next_[queue];  // a point the host cannot give is skipped
  }
  return false;
}

std::int32_t ParameterChanges::NextAfter(std::int32_t frame, std::int32_t end) {
  std::int32_t next = end;
  for (int q = 0; q < queues_; ++q) {
    std::int32_t offset = 0;
    double value = 0.0;
    if (Peek(q, offset, value) && offset > frame && offset < next) next = offset;
  }
  return next;
}

}  // namespace vst3plugin
