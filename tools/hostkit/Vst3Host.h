#pragma once

// A small, strict VST3 host for our tools and tests, on our own interface
// definitions (vst3/api): loads a module, reads its factory, makes an
// instance and drives it through its life as hosts do. It holds the
// plug-in to the format: every answer the format prescribes is checked and
// every reference the plug-in took or handed out must be given back. What
// it finds is kept as a list of faults, so a test says what went wrong.
//
// The host's own objects (its context, component handler, streams and
// parameter changes) belong to whoever made them; the plug-in's references
// to them are counted and never delete them.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/hostkit/Vst3Loader.h"
#include "vst3/Utf16.h"
#include "vst3/api/Vst3.h"

namespace hostkit {

// UTF-16 as VST3 passes text, from and to our UTF-8: the conversions the
// plug-in uses.
using vst3text::Utf16Of;
using vst3text::Utf8Of;

// An interface of the host's, with the references the plug-in takes counted
// (the owner's one included). It only answers for FUnknown and Interface.
template <typename Interface>
class Vst3HostObject : public Interface {
 public:
  vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** object) override {
    if (object == nullptr) return vst3::kInvalidArgument;
    if (vst3::sameTuid(iid, vst3::FUnknown::iid) || vst3::sameTuid(iid, Interface::iid)) {
      *object = static_cast<Interface*>(this);
      addRef();
      return vst3::kResultOk;
    }
    *object = nullptr;
    return vst3::kNoInterface;
  }
  vst3::uint32 VST3_CALL addRef() override {
    return static_cast<vst3::uint32>(references_.fetch_add(1, std::memory_order_relaxed) + 1);
  }
  vst3::uint32 VST3_CALL release() override {
    return static_cast<vst3::uint32>(references_.fetch_sub(1, std::memory_order_acq_rel) - 1);
  }
  // 1 when only the owner holds it: the plug-in gave back all it took.
  std::int32_t references() const { return references_.load(std::memory_order_acquire); }

 private:
  std::atomic<std::int32_t> references_{1};
};

// The context every plug-in object is initialized with.
class Vst3HostContext final : public Vst3HostObject<vst3::IHostApplication> {
 public:
  vst3::tresult VST3_CALL getName(vst3::String128 name) override;
  // The host makes no objects for the plug-in (messages, attribute lists).
  vst3::tresult VST3_CALL createInstance(vst3::TUID, vst3::TUID, void** object) override;
};

// A stream in memory for states. Each read or write call moves at most the
// next of the given piece sizes (taken in turn), as a host whose stream
// works in pieces does; without pieces a call moves all it is asked for.
class Vst3Stream final : public Vst3HostObject<vst3::IBStream> {
 public:
  Vst3Stream() = default;
  explicit Vst3Stream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  void setReadPieces(std::vector<std::int32_t> sizes) { readPieces_ = std::move(sizes); }
  void setWritePieces(std::vector<std::int32_t> sizes) { writePieces_ = std::move(sizes); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::int64_t position() const { return position_; }
  void rewind() { position_ = 0; }
  // Calls that moved at least one byte.
  int reads() const { return reads_; }
  int writes() const { return writes_; }

  vst3::tresult VST3_CALL read(void* buffer, vst3::int32 numBytes, vst3::int32* numBytesRead) override;
  vst3::tresult VST3_CALL write(void* buffer, vst3::int32 numBytes, vst3::int32* numBytesWritten) override;
  vst3::tresult VST3_CALL seek(vst3::int64 pos, vst3::int32 mode, vst3::int64* result) override;
  vst3::tresult VST3_CALL tell(vst3::int64* pos) override;

 private:
  static std::int32_t Piece(const std::vector<std::int32_t>& pieces, int calls, std::int32_t asked);

  std::vector<std::uint8_t> bytes_;
  std::int64_t position_ = 0;
  std::vector<std::int32_t> readPieces_, writePieces_;
  int reads_ = 0, writes_ = 0;
};

// The changes of one parameter in a block: points in order of their sample
// offset. Room for its points is made up front, so a block's changes are
// given without allocating.
class Vst3ParamQueue final : public Vst3HostObject<vst3::IParamValueQueue> {
 public:
  static constexpr int kCapacity = 64;
  explicit Vst3ParamQueue(vst3::ParamID id = 0);

  void reset(vst3::ParamID id);

  vst3::ParamID VST3_CALL getParameterId() override { return id_; }
  vst3::int32 VST3_CALL getPointCount() override { return static_cast<vst3::int32>(points_.size()); }
  vst3::tresult VST3_CALL getPoint(vst3::int32 index, vst3::int32& sampleOffset,
                                   vst3::ParamValue& value) override;
  // Kept in offset order; a second point at an offset replaces the first.
  vst3::tresult VST3_CALL addPoint(vst3::int32 sampleOffset, vst3::ParamValue value,
                                   vst3::int32& index) override;

 private:
  struct Point {
    vst3::int32 offset;
    vst3::ParamValue value;
  };
  vst3::ParamID id_;
  std::vector<Point> points_;
};

// A block's parameter changes: a queue per parameter, in the order first
// given. clear() empties it for the next block without freeing anything.
class Vst3ParameterChanges final : public Vst3HostObject<vst3::IParameterChanges> {
 public:
  static constexpr int kCapacity = 128;
  Vst3ParameterChanges();

  void clear() { used_ = 0; }
  // A point for the parameter; false when there is no room.
  bool add(vst3::ParamID id, vst3::int32 offset, vst3::ParamValue value);
  bool empty() const { return used_ == 0; }

  vst3::int32 VST3_CALL getParameterCount() override { return used_; }
  vst3::IParamValueQueue* VST3_CALL getParameterData(vst3::int32 index) override;
  vst3::IParamValueQueue* VST3_CALL addParameterData(const vst3::ParamID& id, vst3::int32& index) override;
  // Whether the plug-in took references to queues it has not given back.
  bool queuesReleased() const;

 private:
  std::vector<std::unique_ptr<Vst3ParamQueue>> queues_;
  vst3::int32 used_ = 0;
};

// The host's component handler: records what the plug-in tells it, from
// any thread.
class Vst3EditRecorder final : public Vst3HostObject<vst3::IComponentHandler> {
 public:
  enum class Kind { Begin, Perform, End, Restart };
  struct Call {
    Kind kind;
    vst3::ParamID id;        // Begin, Perform, End
    vst3::ParamValue value;  // Perform
    vst3::int32 flags;       // Restart
  };

  vst3::tresult VST3_CALL beginEdit(vst3::ParamID id) override;
  vst3::tresult VST3_CALL performEdit(vst3::ParamID id, vst3::ParamValue valueNormalized) override;
  vst3::tresult VST3_CALL endEdit(vst3::ParamID id) override;
  vst3::tresult VST3_CALL restartComponent(vst3::int32 flags) override;

  std::vector<Call> calls() const;
  void clear();

 private:
  void record(const Call& call);
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

// One class a factory offers, as its class infos describe it.
struct Vst3ClassInfo {
  vst3::Uid cid{};
  vst3::int32 cardinality = 0;
  std::string category, name;
  // From PClassInfo2 where the factory has it.
  bool hasInfo2 = false;
  vst3::uint32 classFlags = 0;
  std::string subCategories, vendor, version, sdkVersion;
};

// A loaded module: its binary entered, its factory and classes read. The
// instances made from it must be closed before it is.
class Vst3Module {
 public:
  // A bundle folder or a binary.
  explicit Vst3Module(const std::string& path);
  ~Vst3Module();
  Vst3Module(const Vst3Module&) = delete;
  Vst3Module& operator=(const Vst3Module&) = delete;

  bool ok() const { return factory_ != nullptr; }
  // Why the module could not be loaded or misbehaved.
  const std::string& error() const { return error_; }
  vst3::IPluginFactory* factory() const { return factory_; }
  const vst3::PFactoryInfo& factoryInfo() const { return info_; }
  const std::vector<Vst3ClassInfo>& classes() const { return classes_; }
  // The first audio effect class, or null.
  const Vst3ClassInfo* audioEffect() const;

  // Releases the factory, calls the module's exit and unloads it; false
  // (with error()) when the module answered what the format forbids.
  bool close();

 private:
  bool readFactory();

  Vst3Loader loader_;
  vst3::IPluginFactory* factory_ = nullptr;
  vst3::PFactoryInfo info_{};
  std::vector<Vst3ClassInfo> classes_;
  std::string error_;
};

// The transport as a host playing a song in 4/4 fills it: playing or
// stopped at a song position (quarter notes from the start, and samples),
// with the tempo and the bar the position is in.
vst3::ProcessContext Vst3SongContext(double sampleRate, std::int64_t samples, double beats, double tempo,
                                     bool playing);

// One instance of a class, made and initialized as hosts do: the component
// first, then its edit controller (the component itself where it is one,
// else the class its component names, connected to it), each initialized
// with the host's context; the controller gets the host's handler.
class Vst3Plugin {
 public:
  Vst3Plugin(vst3::IPluginFactory* factory, const vst3::Uid& classId);
  ~Vst3Plugin();
  Vst3Plugin(const Vst3Plugin&) = delete;
  Vst3Plugin& operator=(const Vst3Plugin&) = delete;

  // Made and initialized, with a processor and a controller.
  bool ok() const { return ok_; }
  // What the plug-in did against the format, in order; empty for a good one.
  std::vector<std::string> faults() const;
  // The faults on one line each, for a test's message.
  std::string faultText() const;

  vst3::IComponent* component() const { return component_; }
  vst3::IAudioProcessor* processor() const { return processor_; }
  vst3::IEditController* controller() const { return controller_; }
  vst3::IUnitInfo* unitInfo() const { return unitInfo_; }
  Vst3HostContext& context() { return context_; }
  Vst3EditRecorder& handler() { return handler_; }

  // One stereo bus each way and the processing set-up, as a host prepares
  // playback; false when the plug-in refuses.
  bool setup(double sampleRate, std::int32_t maxBlock);
  // setActive and setProcessing, on and off.
  bool start();
  bool stop();
  bool active() const { return active_; }

  // One block of stereo audio, with the transport (null: none) and the
  // parameter changes (null: none); the plug-in must answer kResultOk.
  vst3::tresult process(float* const* inputs, float* const* outputs, std::int32_t frames,
                        vst3::ProcessContext* context, vst3::IParameterChanges* changes);

  // The state as hosts save and restore it: the component's; on loading,
  // the controller is given the same state (setComponentState).
  vst3::tresult getState(Vst3Stream& stream);
  vst3::tresult setState(Vst3Stream& stream);

  // Every parameter's info, in the controller's order.
  std::vector<vst3::ParameterInfo> parameters();
  // A value as the controller writes it; empty when it answers no text.
  std::string text(vst3::ParamID id, vst3::ParamValue normalized);

  // Stops the instance where it runs, terminates it and gives back every
  // reference; false when a result or reference count was not what the
  // format says (the faults tell). The destructor closes an open instance.
  bool close();

  // A result the format prescribes, checked: a fault unless it is expected.
  void expect(bool holds, const std::string& what);

 private:
  // A reference the host holds, with the object it belongs to (the
  // identity its FUnknown gives).
  struct Held {
    vst3::FUnknown* reference;
    const void* object;
    std::string what;
  };
  // Queries an interface of from; recorded as held when found.
  void* query(vst3::FUnknown* from, const vst3::Uid& iid, const char* what);
  void hold(vst3::FUnknown* reference, const std::string& what);
  void fault(const std::string& what);

  Vst3HostContext context_;
  Vst3EditRecorder handler_;
  Vst3ParameterChanges outputChanges_;
  vst3::IComponent* component_ = nullptr;
  vst3::IAudioProcessor* processor_ = nullptr;
  vst3::IEditController* controller_ = nullptr;
  vst3::IUnitInfo* unitInfo_ = nullptr;
  // The controller is an object of its own, connected to the component.
  bool separateController_ = false;
  vst3::IConnectionPoint* componentPoint_ = nullptr;
  vst3::IConnectionPoint* controllerPoint_ = nullptr;
  std::vector<Held> held_;
  bool ok_ = false, closed_ = false, initialized_ = false, controllerInitialized_ = false;
  bool active_ = false, processing_ = false;
  mutable std::mutex faultsMutex_;
  std::vector<std::string> faults_;
};

}  // namespace hostkit
