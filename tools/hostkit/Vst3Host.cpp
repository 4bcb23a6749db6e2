#include "tools/hostkit/Vst3Host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace hostkit {

using namespace vst3;

namespace {

std::string ResultName(tresult result) {
  static const std::pair<tresult, const char*> kNames[] = {{kResultOk, "kResultOk"},
                                                           {kResultFalse, "kResultFalse"},
                                                           {kNoInterface, "kNoInterface"},
                                                           {kInvalidArgument, "kInvalidArgument"},
                                                           {kNotImplemented, "kNotImplemented"},
                                                           {kInternalError, "kInternalError"},
                                                           {kNotInitialized, "kNotInitialized"},
                                                           {kOutOfMemory, "kOutOfMemory"}};
  for (const auto& [code, name] : kNames)
    if (code == result) return name;
  return std::to_string(result);
}

// A fixed array of a factory's record as text; false when it is not
// terminated within the array.
template <std::size_t N>
bool FixedText(const char (&array)[N], std::string& text) {
  const void* end = std::memchr(array, '\0', N);
  if (end == nullptr) return false;
  text.assign(array, static_cast<const char*>(end));
  return true;
}

}  // namespace

// --- the host's objects

tresult Vst3HostContext::getName(String128 name) {
  if (name == nullptr) return kInvalidArgument;
  const std::u16string text = Utf16Of("plonkrift hostkit");
  std::copy(text.begin(), text.end(), name);
  name[text.size()] = 0;
  return kResultOk;
}

tresult Vst3HostContext::createInstance(TUID, TUID, void** object) {
  if (object != nullptr) *object = nullptr;
  return kNoInterface;
}

std::int32_t Vst3Stream::Piece(const std::vector<std::int32_t>& pieces, int calls, std::int32_t asked) {
  if (pieces.empty()) return asked;
  return std::min(asked, pieces[static_cast<std::size_t>(calls) % pieces.size()]);
}

tresult Vst3Stream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
  if (numBytesRead != nullptr) *numBytesRead = 0;
  if (buffer == nullptr || numBytes < 0) return kInvalidArgument;
  const std::int64_t left = std::max<std::int64_t>(0, static_cast<std::int64_t>(bytes_.size()) - position_);
  const auto n = static_cast<int32>(std::min<std::int64_t>(Piece(readPieces_, reads_, numBytes), left));
  if (n > 0) {
    std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    ++reads_;
  }
  if (numBytesRead != nullptr) *numBytesRead = n;
  return kResultOk;
}

tresult Vst3Stream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
  if (numBytesWritten != nullptr) *numBytesWritten = 0;
  if (buffer == nullptr || numBytes < 0) return kInvalidArgument;
  const int32 n = Piece(writePieces_, writes_, numBytes);
  if (n > 0) {
    const auto end = static_cast<std::size_t>(position_ + n);
    if (bytes_.size() < end) bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(n));
    position_ += n;
    ++writes_;
  }
  if (numBytesWritten != nullptr) *numBytesWritten = n;
  return kResultOk;
}

tresult Vst3Stream::seek(int64 pos, int32 mode, int64* result) {
  std::int64_t to = 0;
  switch (mode) {
    case IBStream::kIBSeekSet:
      to = pos;
      break;
    case IBStream::kIBSeekCur:
      to = position_ + pos;
      break;
    case IBStream::kIBSeekEnd:
      to = static_cast<std::int64_t>(bytes_.size()) + pos;
      break;
    default:
      return kInvalidArgument;
  }
  if (to < 0) return kInvalidArgument;
  position_ = to;
  if (result != nullptr) *result = to;
  return kResultOk;
}

tresult Vst3Stream::tell(int64* pos) {
  if (pos == nullptr) return kInvalidArgument;
  *pos = position_;
  return kResultOk;
}

Vst3ParamQueue::Vst3ParamQueue(ParamID id) : id_(id) {
  points_.reserve(kCapacity);
}

void Vst3ParamQueue::reset(ParamID id) {
  id_ = id;
  points_.clear();
}

tresult Vst3ParamQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
  if (index < 0 || index >= getPointCount()) return kInvalidArgument;
  sampleOffset = points_[static_cast<std::size_t>(index)].offset;
  value = points_[static_cast<std::size_t>(index)].value;
  return kResultOk;
}

tresult Vst3ParamQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
  const auto at = std::find_if(points_.begin(), points_.end(),
                               [sampleOffset](const Point& p) { return p.offset >= sampleOffset; });
  if (at != points_.end() && at->offset == sampleOffset) {
    at->value = value;
  } else {
    if (points_.size() >= kCapacity) return kResultFalse;
    points_.insert(at, Point{sampleOffset, value});
  }
  index =
      static_cast<int32>(std::find_if(points_.begin(), points_.end(),
                                      [sampleOffset](const Point& p) { return p.offset == sampleOffset; }) -
                         points_.begin());
  return kResultOk;
}

Vst3ParameterChanges::Vst3ParameterChanges() {
  queues_.reserve(kCapacity);
  for (int i = 0; i < kCapacity; ++i) queues_.push_back(std::make_unique<Vst3ParamQueue>());
}

bool Vst3ParameterChanges::add(ParamID id, int32 offset, ParamValue value) {
  int32 index = 0;
  IParamValueQueue* queue = addParameterData(id, index);
  return queue != nullptr && queue->addPoint(offset, value, index) == kResultOk;
}

IParamValueQueue* Vst3ParameterChanges::getParameterData(int32 index) {
  if (index < 0 || index >= used_) return nullptr;
  return queues_[static_cast<std::size_t>(index)].get();
}

IParamValueQueue* Vst3ParameterChanges::addParameterData(const ParamID& id, int32& index) {
  for (int32 i = 0; i < used_; ++i)
    if (queues_[static_cast<std::size_t>(i)]->getParameterId() == id) {
      index = i;
      return queues_[static_cast<std::size_t>(i)].get();
    }
  if (used_ >= kCapacity) return nullptr;
  index = used_;
  queues_[static_cast<std::size_t>(used_)]->reset(id);
  return queues_[static_cast<std::size_t>(used_++)].get();
}

bool Vst3ParameterChanges::queuesReleased() const {
  return std::all_of(queues_.begin(), queues_.end(), [](const auto& q) { return q->references() == 1; });
}

tresult Vst3EditRecorder::beginEdit(ParamID id) {
  record({Kind::Begin, id, 0.0, 0});
  return kResultOk;
}

tresult Vst3EditRecorder::performEdit(ParamID id, ParamValue valueNormalized) {
  record({Kind::Perform, id, valueNormalized, 0});
  return kResultOk;
}

tresult Vst3EditRecorder::endEdit(ParamID id) {
  record({Kind::End, id, 0.0, 0});
  return kResultOk;
}

tresult Vst3EditRecorder::restartComponent(int32 flags) {
  record({Kind::Restart, 0, 0.0, flags});
  return kResultOk;
}

std::vector<Vst3EditRecorder::Call> Vst3EditRecorder::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

void Vst3EditRecorder::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void Vst3EditRecorder::record(const Call& call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(call);
}

// --- the module

Vst3Module::Vst3Module(const std::string& path) {
  if (!loader_.open(path, error_)) return;
  const auto get = reinterpret_cast<GetFactoryProc>(loader_.symbol(kGetFactoryProcName));
  if (get == nullptr) {
    error_ = loader_.binary() + " exports no " + kGetFactoryProcName;
  } else if ((factory_ = get()) == nullptr) {
    error_ = std::string(kGetFactoryProcName) + " answered no factory";
  } else if (!readFactory()) {
    factory_->release();
    factory_ = nullptr;
  }
  if (factory_ == nullptr) {
    std::string ignored;
    loader_.close(ignored);
  }
}

Vst3Module::~Vst3Module() {
  close();
}

bool Vst3Module::readFactory() {
  tresult result = factory_->getFactoryInfo(&info_);
  if (result != kResultOk) {
    error_ = "getFactoryInfo answered " + ResultName(result);
    return false;
  }
  std::string text;
  if (!FixedText(info_.vendor, text) || !FixedText(info_.url, text) || !FixedText(info_.email, text)) {
    error_ = "the factory's info has an unterminated text";
    return false;
  }
  const int32 count = factory_->countClasses();
  if (count < 0) {
    error_ = "countClasses answered " + std::to_string(count);
    return false;
  }
  void* second = nullptr;
  result = factory_->queryInterface(IPluginFactory2::iid, &second);
  if ((result == kResultOk) != (second != nullptr) || (result != kResultOk && result != kNoInterface)) {
    error_ = "queryInterface(IPluginFactory2) answered " + ResultName(result);
    return false;
  }
  auto* factory2 = static_cast<IPluginFactory2*>(second);
  for (int32 i = 0; i < count && error_.empty(); ++i) {
    PClassInfo info{};
    Vst3ClassInfo entry;
    if ((result = factory_->getClassInfo(i, &info)) != kResultOk) {
      error_ = "getClassInfo(" + std::to_string(i) + ") answered " + ResultName(result);
    } else if (!FixedText(info.category, entry.category) || !FixedText(info.name, entry.name)) {
      error_ = "class " + std::to_string(i) + " has an unterminated text";
    } else {
      std::memcpy(entry.cid.bytes, info.cid, sizeof entry.cid.bytes);
      entry.cardinality = info.cardinality;
    }
    PClassInfo2 info2{};
    if (error_.empty() && factory2 != nullptr) {
      if ((result = factory2->getClassInfo2(i, &info2)) != kResultOk) {
        error_ = "getClassInfo2(" + std::to_string(i) + ") answered " + ResultName(result);
      } else if (std::memcmp(info2.cid, info.cid, sizeof info.cid) != 0) {
        error_ = "class " + std::to_string(i) + " has another ID in PClassInfo2";
      } else if (!FixedText(info2.subCategories, entry.subCategories) ||
                 !FixedText(info2.vendor, entry.vendor) || !FixedText(info2.version, entry.version) ||
                 !FixedText(info2.sdkVersion, entry.sdkVersion)) {
        error_ = "class " + std::to_string(i) + " has an unterminated text in PClassInfo2";
      } else {
        entry.hasInfo2 = true;
        entry.classFlags = info2.classFlags;
      }
    }
    classes_.push_back(entry);
  }
  if (factory2 != nullptr) factory2->release();
  return error_.empty();
}

const Vst3ClassInfo* Vst3Module::audioEffect() const {
  for (const Vst3ClassInfo& info : classes_)
    if (info.category == kVstAudioEffectClass) return &info;
  return nullptr;
}

bool Vst3Module::close() {
  if (factory_ != nullptr) factory_->release();
  factory_ = nullptr;
  std::string error;
  if (loader_.isOpen() && !loader_.close(error)) {
    error_ = error;
    return false;
  }
  return true;
}

// --- an instance

ProcessContext Vst3SongContext(double sampleRate, std::int64_t samples, double beats, double tempo,
                               bool playing) {
  ProcessContext context{};
  context.state = ProcessContext::kProjectTimeMusicValid | ProcessContext::kBarPositionValid |
                  ProcessContext::kTempoValid | ProcessContext::kTimeSigValid;
  if (playing) context.state |= ProcessContext::kPlaying;
  context.sampleRate = sampleRate;
  context.projectTimeSamples = samples;
  context.projectTimeMusic = beats;
  context.barPositionMusic = std::floor(beats / 4.0) * 4.0;
  context.tempo = tempo;
  context.timeSigNumerator = 4;
  context.timeSigDenominator = 4;
  return context;
}

Vst3Plugin::Vst3Plugin(IPluginFactory* factory, const Uid& classId) {
  if (factory == nullptr) {
    fault("no factory");
    return;
  }
  void* object = nullptr;
  tresult result = factory->createInstance(classId, IComponent::iid, &object);
  if (result != kResultOk || object == nullptr) {
    fault("createInstance(IComponent) answered " + ResultName(result));
    return;
  }
  component_ = static_cast<IComponent*>(object);
  hold(component_, "the component");
  result = component_->initialize(&context_);
  if (result != kResultOk) {
    fault("the component's initialize answered " + ResultName(result));
    return;
  }
  initialized_ = true;
  processor_ = static_cast<IAudioProcessor*>(query(component_, IAudioProcessor::iid, "IAudioProcessor"));
  if (processor_ == nullptr) {
    fault("the component is no IAudioProcessor");
    return;
  }
  controller_ = static_cast<IEditController*>(query(component_, IEditController::iid, "IEditController"));
  if (controller_ == nullptr) {
    TUID controllerId = {};
    result = component_->getControllerClassId(controllerId);
    if (result != kResultOk) {
      fault("the component is no controller and names none: getControllerClassId answered " +
            ResultName(result));
      return;
    }
    object = nullptr;
    result = factory->createInstance(controllerId, IEditController::iid, &object);
    if (result != kResultOk || object == nullptr) {
      fault("createInstance(the component's controller) answered " + ResultName(result));
      return;
    }
    controller_ = static_cast<IEditController*>(object);
    separateController_ = true;
    hold(controller_, "the controller");
    result = controller_->initialize(&context_);
    if (result != kResultOk) {
      fault("the controller's initialize answered " + ResultName(result));
      return;
    }
    controllerInitialized_ = true;
    componentPoint_ =
        static_cast<IConnectionPoint*>(query(component_, IConnectionPoint::iid, "IConnectionPoint"));
    controllerPoint_ = static_cast<IConnectionPoint*>(
        query(controller_, IConnectionPoint::iid, "the controller's IConnectionPoint"));
    if (componentPoint_ != nullptr && controllerPoint_ != nullptr) {
      expect(componentPoint_->connect(controllerPoint_) == kResultOk, "the component refused the connection");
      expect(controllerPoint_->connect(componentPoint_) == kResultOk,
             "the controller refused the connection");
    }
    // The controller starts from the component's state, as hosts pass it on.
    Vst3Stream state;
    if (component_->getState(&state) == kResultOk) {
      state.rewind();
      expect(controller_->setComponentState(&state) == kResultOk,
             "the controller refused the component's state");
    }
  }
  unitInfo_ = static_cast<IUnitInfo*>(query(controller_, IUnitInfo::iid, "IUnitInfo"));
  result = controller_->setComponentHandler(&handler_);
  expect(result == kResultOk, "setComponentHandler answered " + ResultName(result));
  ok_ = faults().empty();
}

Vst3Plugin::~Vst3Plugin() {
  if (!closed_) close();
}

void Vst3Plugin::fault(const std::string& what) {
  std::lock_guard lock(faultsMutex_);
  faults_.push_back(what);
}

void Vst3Plugin::expect(bool holds, const std::string& what) {
  if (!holds) fault(what);
}

std::vector<std::string> Vst3Plugin::faults() const {
  std::lock_guard lock(faultsMutex_);
  return faults_;
}

std::string Vst3Plugin::faultText() const {
  std::string text;
  for (const std::string& f : faults()) text += f + "\n";
  return text;
}

void Vst3Plugin::hold(FUnknown* reference, const std::string& what) {
  // The object a reference belongs to is the one its FUnknown names.
  void* unknown = nullptr;
  const void* object = reference;
  if (reference->queryInterface(FUnknown::iid, &unknown) == kResultOk && unknown != nullptr) {
    object = unknown;
    static_cast<FUnknown*>(unknown)->release();
  } else {
    fault(what + " does not answer queryInterface(FUnknown)");
  }
  held_.push_back({reference, object, what});
}

void* Vst3Plugin::query(FUnknown* from, const Uid& iid, const char* what) {
  void* object = nullptr;
  const tresult result = from->queryInterface(iid, &object);
  if (result == kResultOk && object != nullptr) {
    // Every interface starts with FUnknown's methods: its pointer is one.
    hold(static_cast<FUnknown*>(object), what);
    return object;
  }
  expect(result == kNoInterface && object == nullptr,
         std::string("queryInterface(") + what + ") answered " + ResultName(result) +
             (object != nullptr ? " with an object" : " without an object"));
  return nullptr;
}

bool Vst3Plugin::setup(double sampleRate, std::int32_t maxBlock) {
  if (!ok_) return false;
  const std::size_t before = faults().size();
  expect(component_->getBusCount(kAudio, kInput) >= 1 && component_->getBusCount(kAudio, kOutput) >= 1,
         "the component has no audio bus in each direction");
  SpeakerArrangement in = SpeakerArr::kStereo, out = SpeakerArr::kStereo;
  tresult result = processor_->setBusArrangements(&in, 1, &out, 1);
  expect(result == kResultTrue, "setBusArrangements(stereo, stereo) answered " + ResultName(result));
  for (const BusDirection direction : {kInput, kOutput}) {
    result = component_->activateBus(kAudio, direction, 0, 1);
    expect(result == kResultOk, "activateBus answered " + ResultName(result));
  }
  result = processor_->canProcessSampleSize(kSample32);
  expect(result == kResultTrue, "canProcessSampleSize(kSample32) answered " + ResultName(result));
  ProcessSetup setup{kRealtime, kSample32, maxBlock, sampleRate};
  result = processor_->setupProcessing(setup);
  expect(result == kResultOk, "setupProcessing answered " + ResultName(result));
  return faults().size() == before;
}

bool Vst3Plugin::start() {
  if (!ok_) return false;
  const std::size_t before = faults().size();
  tresult result = component_->setActive(1);
  expect(result == kResultOk, "setActive(true) answered " + ResultName(result));
  active_ = result == kResultOk;
  // The format lets a processor leave setProcessing unimplemented.
  result = processor_->setProcessing(1);
  expect(result == kResultOk || result == kNotImplemented,
         "setProcessing(true) answered " + ResultName(result));
  processing_ = true;
  return faults().size() == before;
}

bool Vst3Plugin::stop() {
  if (!ok_) return false;
  const std::size_t before = faults().size();
  if (processing_) {
    const tresult result = processor_->setProcessing(0);
    expect(result == kResultOk || result == kNotImplemented,
           "setProcessing(false) answered " + ResultName(result));
    processing_ = false;
  }
  if (active_) {
    const tresult result = component_->setActive(0);
    expect(result == kResultOk, "setActive(false) answered " + ResultName(result));
    active_ = false;
  }
  return faults().size() == before;
}

tresult Vst3Plugin::process(float* const* inputs, float* const* outputs, std::int32_t frames,
                            ProcessContext* context, IParameterChanges* changes) {
  AudioBusBuffers in{}, out{};
  in.numChannels = 2;
  in.channelBuffers32 = const_cast<float**>(inputs);
  out.numChannels = 2;
  out.channelBuffers32 = const_cast<float**>(outputs);
  outputChanges_.clear();
  ProcessData data{};
  data.processMode = kRealtime;
  data.symbolicSampleSize = kSample32;
  data.numSamples = frames;
  data.numInputs = 1;
  data.numOutputs = 1;
  data.inputs = &in;
  data.outputs = &out;
  data.inputParameterChanges = changes;
  data.outputParameterChanges = &outputChanges_;
  data.processContext = context;
  const tresult result = processor_->process(data);
  // Only a failing block costs the audio thread an allocation here.
  if (result != kResultOk) fault("process answered " + ResultName(result));
  return result;
}

tresult Vst3Plugin::getState(Vst3Stream& stream) {
  const tresult result = component_->getState(&stream);
  expect(result == kResultOk, "getState answered " + ResultName(result));
  expect(stream.references() == 1, "getState kept a reference to the stream");
  return result;
}

tresult Vst3Plugin::setState(Vst3Stream& stream) {
  const std::int64_t start = stream.position();
  const tresult result = component_->setState(&stream);
  if (result == kResultOk && separateController_) {
    stream.seek(start, IBStream::kIBSeekSet, nullptr);
    expect(controller_->setComponentState(&stream) == kResultOk,
           "the controller refused a state its component took");
  }
  expect(stream.references() == 1, "setState kept a reference to the stream");
  return result;
}

std::vector<ParameterInfo> Vst3Plugin::parameters() {
  std::vector<ParameterInfo> infos;
  const int32 count = controller_->getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    ParameterInfo info{};
    const tresult result = controller_->getParameterInfo(i, info);
    expect(result == kResultOk, "getParameterInfo(" + std::to_string(i) + ") answered " + ResultName(result));
    infos.push_back(info);
  }
  return infos;
}

std::string Vst3Plugin::text(ParamID id, ParamValue normalized) {
  String128 text = {};
  if (controller_->getParamStringByValue(id, normalized, text) != kResultOk) return "";
  return Utf8Of(text, 128);
}

bool Vst3Plugin::close() {
  if (closed_) return faults().empty();
  closed_ = true;
  if (active_ || processing_) stop();
  if (componentPoint_ != nullptr && controllerPoint_ != nullptr) {
    expect(componentPoint_->disconnect(controllerPoint_) == kResultOk, "the component refused to disconnect");
    expect(controllerPoint_->disconnect(componentPoint_) == kResultOk,
           "the controller refused to disconnect");
  }
  if (controllerInitialized_) {
    const tresult result = controller_->terminate();
    expect(result == kResultOk, "the controller's terminate answered " + ResultName(result));
  }
  if (initialized_) {
    const tresult result = component_->terminate();
    expect(result == kResultOk, "the component's terminate answered " + ResultName(result));
  }
  // The references go back last first; an object's last one must leave it
  // with none.
  while (!held_.empty()) {
    const Held held = held_.back();
    held_.pop_back();
    const auto others =
        std::count_if(held_.begin(), held_.end(), [&held](const Held& h) { return h.object == held.object; });
    const uint32 left = held.reference->release();
    if (others == 0)
      expect(left == 0, held.what + ": the last release left " + std::to_string(left) + " references");
    else
      expect(left >= static_cast<uint32>(others), held.what + ": release left " + std::to_string(left) +
                                                      " references while the host held " +
                                                      std::to_string(others));
  }
  component_ = nullptr;
  processor_ = nullptr;
  controller_ = nullptr;
  unitInfo_ = nullptr;
  componentPoint_ = controllerPoint_ = nullptr;
  // The host's own reference is the one left: more is a reference the
  // plug-in kept, fewer one it gave back twice.
  expect(context_.references() == 1,
         "the host's context has " + std::to_string(context_.references()) + " references at the end, not 1");
  expect(handler_.references() == 1, "the component handler has " + std::to_string(handler_.references()) +
                                         " references at the end, not 1");
  expect(outputChanges_.references() == 1 && outputChanges_.queuesReleased(),
         "the plug-in kept references to the output parameter changes");
  return faults().empty();
}

}  // namespace hostkit
