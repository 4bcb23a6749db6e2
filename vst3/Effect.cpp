#include "vst3/Effect.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "plugin/ParameterText.h"
#include "plugin/core/EffectState.h"
#include "vst3/EditorView.h"
#include "vst3/Identity.h"
#include "vst3/ParameterChanges.h"
#include "vst3/Utf16.h"

namespace vst3plugin {

using namespace vst3;
using vst3text::CopyToUtf16;
using vst3text::Utf8Of;

namespace {

// A rate no audio interface runs at would make the bar length meaningless.
bool UsableRate(double rate) {
  return rate >= 1.0 && rate <= 1e7;
}

// Hosts step a parameter through k / steps; a list spread unevenly over
// 0..1 (the LFO periods) is continuous to them, as it is to a VST 2 host.
int32 StepCountOf(int slot) {
  const parameters::Parameter& p = parameters::parameter(slot);
  if (p.kind == parameters::Kind::Toggle) return 1;
  if (p.kind != parameters::Kind::List || p.points.size() < 2) return 0;
  const auto steps = static_cast<int32>(p.points.size()) - 1;
  for (int32 i = 0; i <= steps; ++i)
    if (p.points[static_cast<std::size_t>(i)].value != static_cast<float>(i) / static_cast<float>(steps))
      return 0;
  return steps;
}

// The steps a host sees for a parameter ID: the program list's, a slot's, or
// none.
int32 StepsOf(ParamID id) {
  if (id == kProgramParameterId) return ProgramList::count() - 1;
  return isSlotId(id) ? StepCountOf(static_cast<int>(id)) : 0;
}

void ClearOutputs(ProcessData& data) {
  if (data.outputs == nullptr || data.numSamples <= 0) return;
  for (int32 bus = 0; bus < data.numOutputs; ++bus) {
    AudioBusBuffers& buffers = data.outputs[bus];
    if (buffers.channelBuffers32 == nullptr) continue;
    for (int32 c = 0; c < buffers.numChannels; ++c)
      if (buffers.channelBuffers32[c] != nullptr)
        std::memset(buffers.channelBuffers32[c], 0,
                    sizeof(float) * static_cast<std::size_t>(data.numSamples));
  }
}

bool IsStereoBus(const AudioBusBuffers* buffers, int32 count) {
  return buffers != nullptr && count >= 1 && buffers[0].numChannels == 2 &&
         buffers[0].channelBuffers32 != nullptr && buffers[0].channelBuffers32[0] != nullptr &&
         buffers[0].channelBuffers32[1] != nullptr;
}

// The host's stream as the state format reads and writes it: a few bytes at
// a time are fine; a stream that moves nothing ends the transfer.
std::int64_t ReadStream(IBStream* stream, void* buffer, std::int64_t size) {
  int32 done = 0;
  const auto ask = static_cast<int32>(size < 0x40000000 ? size : 0x40000000);
  if (stream->read(buffer, ask, &done) != kResultOk) return -1;
  return done;
}

std::int64_t WriteStream(IBStream* stream, const void* buffer, std::int64_t size) {
  int32 done = 0;
  const auto ask = static_cast<int32>(size < 0x40000000 ? size : 0x40000000);
  if (stream->write(const_cast<void*>(buffer), ask, &done) != kResultOk) return -1;
  return done;
}

}  // namespace

Effect::Effect() : core_(std::make_unique<EffectCore>()), programs_(*core_) {}

Effect::~Effect() {
  if (handler_ != nullptr) handler_->release();
}

// --- FUnknown

tresult Effect::queryInterface(const TUID iid, void** object) {
  if (object == nullptr) return kInvalidArgument;
  void* found = nullptr;
  if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, IPluginBase::iid) || sameTuid(iid, IComponent::iid))
    found = static_cast<IComponent*>(this);
  else if (sameTuid(iid, IAudioProcessor::iid))
    found = static_cast<IAudioProcessor*>(this);
  else if (sameTuid(iid, IProcessContextRequirements::iid))
    found = static_cast<IProcessContextRequirements*>(this);
  else if (sameTuid(iid, IEditController::iid))
    found = static_cast<IEditController*>(this);
  else if (sameTuid(iid, IUnitInfo::iid))
    found = static_cast<IUnitInfo*>(this);
  *object = found;
  if (found == nullptr) return kNoInterface;
  addRef();
  return kResultOk;
}

uint32 Effect::addRef() {
  return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 Effect::release() {
  const uint32 left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

// --- IPluginBase

tresult Effect::initialize(FUnknown*) {
  return kResultOk;
}

tresult Effect::terminate() {
  setComponentHandler(nullptr);
  return kResultOk;
}

// --- IComponent

tresult Effect::getControllerClassId(TUID) {
  // The controller is this object.
  return kNotImplemented;
}

tresult Effect::setIoMode(IoMode) {
  return kResultOk;
}

int32 Effect::getBusCount(MediaType type, BusDirection) {
  return type == kAudio ? 1 : 0;
}

tresult Effect::getBusInfo(MediaType type, BusDirection direction, int32 index, BusInfo& bus) {
  if (type != kAudio || index != 0 || (direction != kInput && direction != kOutput)) return kInvalidArgument;
  bus.mediaType = kAudio;
  bus.direction = direction;
  bus.channelCount = 2;
  CopyToUtf16(direction == kInput ? "Stereo In" : "Stereo Out", bus.name, 128);
  bus.busType = kMain;
  bus.flags = BusInfo::kDefaultActive;
  return kResultOk;
}

tresult Effect::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
  return kNotImplemented;
}

tresult Effect::activateBus(MediaType type, BusDirection, int32 index, TBool) {
  return type == kAudio && index == 0 ? kResultOk : kInvalidArgument;
}

tresult Effect::setActive(TBool state) {
  if (state != 0) restart_.store(true, std::memory_order_relaxed);
  return kResultOk;
}

tresult Effect::setState(IBStream* state) {
  return loadState(state) ? kResultOk : kResultFalse;
}

tresult Effect::getState(IBStream* state) {
  if (state == nullptr) return kInvalidArgument;
  try {
    const bool saved = saveState(
        *core_, [state](const void* bytes, std::int64_t size) { return WriteStream(state, bytes, size); });
    return saved ? kResultOk : kResultFalse;
  } catch (...) {
    return kOutOfMemory;
  }
}

bool Effect::loadState(IBStream* state) {
  if (state == nullptr) return false;
  try {
    if (!::loadState(*core_,
                     [state](void* bytes, std::int64_t size) { return ReadStream(state, bytes, size); }))
      return false;
  } catch (...) {
    return false;
  }
  programs_.followCurrentProgram();
  return true;
}

// --- IAudioProcessor

tresult Effect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                   int32 numOuts) {
  // One stereo bus each way; anything else is refused and the buses stay
  // as they are.
  if (numIns != 1 || numOuts != 1 || inputs == nullptr || outputs == nullptr) return kResultFalse;
  return inputs[0] == SpeakerArr::kStereo && outputs[0] == SpeakerArr::kStereo ? kResultTrue : kResultFalse;
}

tresult Effect::getBusArrangement(BusDirection direction, int32 index, SpeakerArrangement& arrangement) {
  if (index != 0 || (direction != kInput && direction != kOutput)) return kInvalidArgument;
  arrangement = SpeakerArr::kStereo;
  return kResultOk;
}

tresult Effect::canProcessSampleSize(int32 symbolicSampleSize) {
  return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult Effect::setupProcessing(ProcessSetup& setup) {
  if (setup.symbolicSampleSize != kSample32 || !UsableRate(setup.sampleRate) || setup.maxSamplesPerBlock <= 0)
    return kResultFalse;
  sampleRate_.store(static_cast<float>(setup.sampleRate), std::memory_order_relaxed);
  return kResultOk;
}

tresult Effect::setProcessing(TBool) {
  return kResultOk;
}

uint32 Effect::getTailSamples() {
  // The echoes ring on as long as the feedback lets them.
  return kInfiniteTail;
}

uint32 Effect::getProcessContextRequirements() {
  return IProcessContextRequirements::kNeedProjectTimeMusic |
         IProcessContextRequirements::kNeedBarPositionMusic | IProcessContextRequirements::kNeedTempo |
         IProcessContextRequirements::kNeedTimeSignature | IProcessContextRequirements::kNeedTransportState;
}

void Effect::applyChange(ParamID id, double value) {
  if (isSlotId(id)) {
    core_->setParameter(static_cast<int>(id), static_cast<float>(value));
  } else if (id == kProgramParameterId) {
    const int entry = ProgramList::entryOf(value);
    if (entry != programs_.chosen() && programs_.choose(entry))
      programChanged_.store(1, std::memory_order_relaxed);
  }
}

void Effect::playPart(ProcessData& data, bool timed, const engine::TimeRecord& start, int32 from, int32 to) {
  if (to <= from) return;
  float* const* in = data.inputs[0].channelBuffers32;
  float* const* out = data.outputs[0].channelBuffers32;
  float* inputs[2] = {in[0] + from, in[1] + from};
  float* outputs[2] = {out[0] + from, out[1] + from};
  const float rate = sampleRate_.load(std::memory_order_relaxed);
  if (!timed) {
    core_->processBlock(nullptr, rate, inputs, outputs, to - from, false);
  } else if (from == 0) {
    core_->processBlock(&start, rate, inputs, outputs, to - from, false);
  } else {
    const engine::TimeRecord later = ContextTime::Later(start, from, rate);
    core_->processBlock(&later, rate, inputs, outputs, to - from, false);
  }
}

tresult Effect::process(ProcessData& data) {
  if (data.symbolicSampleSize != kSample32) return kInvalidArgument;
  const int32 frames = data.numSamples > 0 ? data.numSamples : 0;
  ParameterChanges changes(data.inputParameterChanges, frames);
  const auto apply = [this](ParamID id, double value) { applyChange(id, value); };
  if (frames == 0) {
    // A flush: the host only hands over parameter changes.
    changes.ApplyUpTo(0, apply);
    return kResultOk;
  }
  if (restart_.exchange(false, std::memory_order_relaxed)) time_.Restart();
  if (!IsStereoBus(data.inputs, data.numInputs) || !IsStereoBus(data.outputs, data.numOutputs) ||
      !UsableRate(sampleRate_.load(std::memory_order_relaxed))) {
    changes.ApplyUpTo(frames, apply);
    ClearOutputs(data);
    return kResultOk;
  }
  engine::TimeRecord start;
  const bool timed = time_.Read(data.processContext, frames, start);
  // Each change takes effect at its frame: the block is played in parts
  // split there.
  int32 done = 0;
  while (done < frames) {
    changes.ApplyUpTo(done, apply);
    const int32 next = changes.NextAfter(done, frames);
    playPart(data, timed, start, done, next);
    done = next;
  }
  changes.ApplyUpTo(frames, apply);
  data.outputs[0].silenceFlags = 0;
  return kResultOk;
}

// --- IEditController

tresult Effect::setComponentState(IBStream* state) {
  // The component's state is this object's own: loaded by setState already
  // when the host calls both; a host that only calls this one gets it too.
  return loadState(state) ? kResultOk : kResultFalse;
}

int32 Effect::getParameterCount() {
  return parameters::kLast - parameters::kFirst + 2;
}

tresult Effect::getParameterInfo(int32 index, ParameterInfo& info) {
  if (index < 0 || index >= getParameterCount()) return kInvalidArgument;
  std::memset(&info, 0, sizeof info);
  info.unitId = kRootUnitId;
  if (index == getParameterCount() - 1) {
    info.id = kProgramParameterId;
    CopyToUtf16("Program", info.title, 128);
    CopyToUtf16("Program", info.shortTitle, 128);
    info.stepCount = StepsOf(kProgramParameterId);
    info.defaultNormalizedValue = 0.0;
    info.flags = ParameterInfo::kIsProgramChange | ParameterInfo::kIsList | ParameterInfo::kCanAutomate;
    return kResultOk;
  }
  const int slot = parameters::kFirst + index;
  const parameters::Parameter& p = parameters::parameter(slot);
  info.id = static_cast<ParamID>(slot);
  CopyToUtf16(p.name, info.title, 128);
  CopyToUtf16(p.shortName, info.shortTitle, 128);
  CopyToUtf16(p.unitLabel, info.units, 128);
  info.stepCount = StepCountOf(slot);
  info.defaultNormalizedValue = p.defaultValue;
  info.flags = ParameterInfo::kCanAutomate |
               (p.kind == parameters::Kind::List && info.stepCount > 0 ? ParameterInfo::kIsList : 0);
  return kResultOk;
}

tresult Effect::getParamStringByValue(ParamID id, ParamValue normalized, String128 text) {
  if (text == nullptr) return kInvalidArgument;
  try {
    if (id == kProgramParameterId) {
      CopyToUtf16(programs_.name(ProgramList::entryOf(normalized)), text, 128);
      return kResultOk;
    }
    if (!isSlotId(id)) return kInvalidArgument;
    const int slot = static_cast<int>(id);
    CopyToUtf16(parameters::FormatValue(slot, parameters::clamped(static_cast<float>(normalized))), text,
                128);
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}

tresult Effect::getParamValueByString(ParamID id, TChar* text, ParamValue& normalized) {
  if (text == nullptr) return kInvalidArgument;
  try {
    const std::string typed = Utf8Of(text, 128);
    if (id == kProgramParameterId) {
      for (int entry = 0; entry < ProgramList::count(); ++entry)
        if (programs_.name(entry) == typed) {
          normalized = ProgramList::normalizedOf(entry);
          return kResultOk;
        }
      return kResultFalse;
    }
    if (!isSlotId(id)) return kInvalidArgument;
    float value = 0.0f;
    std::string error;
    if (!parameters::ParseValue(static_cast<int>(id), typed, value, error)) return kResultFalse;
    normalized = value;
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}

// Plain values: a list's or toggle's index, else the effect's own 0..1.
ParamValue Effect::normalizedParamToPlain(ParamID id, ParamValue normalized) {
  const int32 steps = StepsOf(id);
  return steps > 0 ? std::round(normalized * steps) : normalized;
}

ParamValue Effect::plainParamToNormalized(ParamID id, ParamValue plain) {
  const int32 steps = StepsOf(id);
  return steps > 0 ? plain / steps : plain;
}

ParamValue Effect::getParamNormalized(ParamID id) {
  if (id == kProgramParameterId) return ProgramList::normalizedOf(programs_.chosen());
  return isSlotId(id) ? core_->getParameter(static_cast<int>(id)) : 0.0;
}

tresult Effect::setParamNormalized(ParamID id, ParamValue value) {
  if (!isSlotId(id) && id != kProgramParameterId) return kInvalidArgument;
  if (id == kProgramParameterId) {
    const int entry = ProgramList::entryOf(value);
    if (entry == programs_.chosen() || !programs_.choose(entry)) return kResultOk;
    // Every slot may have changed: the host reads them again.
    if (handler_ != nullptr) handler_->restartComponent(kParamValuesChanged);
    return kResultOk;
  }
  core_->setParameter(static_cast<int>(id), static_cast<float>(value));
  return kResultOk;
}

tresult Effect::setComponentHandler(IComponentHandler* handler) {
  if (handler == handler_) return kResultOk;
  if (handler != nullptr) handler->addRef();
  if (handler_ != nullptr) handler_->release();
  handler_ = handler;
  return kResultOk;
}

IPlugView* Effect::createView(FIDString name) {
  if (name == nullptr || std::strcmp(name, kEditorViewName) != 0) return nullptr;
  return new (std::nothrow) EditorView(*this);
}

void Effect::reportProgramChange() {
  if (programChanged_.exchange(0, std::memory_order_relaxed) != 0 && handler_ != nullptr)
    handler_->restartComponent(kParamValuesChanged);
}

// --- IUnitInfo

tresult Effect::getUnitInfo(int32 index, UnitInfo& info) {
  if (index != 0) return kInvalidArgument;
  info.id = kRootUnitId;
  info.parentUnitId = kNoParentUnitId;
  CopyToUtf16(kEffectName, info.name, 128);
  info.programListId = kProgramListId;
  return kResultOk;
}

tresult Effect::getProgramListInfo(int32 index, ProgramListInfo& info) {
  if (index != 0) return kInvalidArgument;
  info.id = kProgramListId;
  CopyToUtf16("Programs", info.name, 128);
  info.programCount = ProgramList::count();
  return kResultOk;
}

tresult Effect::getProgramName(ProgramListID list, int32 index, String128 name) {
  if (list != kProgramListId || name == nullptr || index < 0 || index >= ProgramList::count())
    return kInvalidArgument;
  CopyToUtf16(programs_.name(index), name, 128);
  return kResultOk;
}

tresult Effect::getUnitByBus(MediaType, BusDirection, int32, int32, UnitID& unit) {
  unit = kRootUnitId;
  return kResultOk;
}

}  // namespace vst3plugin
