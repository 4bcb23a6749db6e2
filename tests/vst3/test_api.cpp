// Our VST3 definitions as a host meets them: IDs compared to the sixteen bytes
// it passes, interfaces found through queryInterface, and methods in the
// vtable slots the documentation's order gives them, both ways: a host written
// in C calling our objects, and our calls into a host's objects.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "vst3/api/Vst3.h"

namespace {

using namespace vst3;

TEST(Vst3Tuid, MatchesOnlyTheSameSixteenBytes) {
  EXPECT_FALSE(sameTuid(nullptr, IComponent::iid));

  // A host's own copy of the ID, not our object's bytes.
  char fromHost[16];
  std::memcpy(fromHost, IComponent::iid.bytes, sizeof fromHost);
  EXPECT_TRUE(sameTuid(fromHost, IComponent::iid));
  for (int i = 0; i < 16; ++i) {
    char changed[16];
    std::memcpy(changed, fromHost, sizeof changed);
    changed[i] ^= 0x01;
    EXPECT_FALSE(sameTuid(changed, IComponent::iid)) << "byte " << i;
  }
}

// Calls vtable slot `slot` of `object` as a C host does: a function whose
// first argument is the object.
template <typename Result, typename... Args>
Result callSlot(void* object, int slot, Args... args) {
  using Function = Result(VST3_CALL*)(void*, Args...);
  void** vtable = *static_cast<void***>(object);
  return reinterpret_cast<Function>(vtable[slot])(object, args...);
}

struct SlotCall {
  int slot;
  const char* method;
  std::function<void(void*)> call;
};

// Records which method ran.
struct Recorder {
  std::string last;
  tresult note(const char* method) {
    last = method;
    return kResultOk;
  }
};

// A component as an effect has one: IComponent, IAudioProcessor and
// IProcessContextRequirements on one object.
class Component final : public IComponent,
                        public IAudioProcessor,
                        public IProcessContextRequirements,
                        public Recorder {
 public:
  tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (obj == nullptr) return kInvalidArgument;
    *obj = nullptr;
    if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, IPluginBase::iid) || sameTuid(iid, IComponent::iid)) {
      *obj = static_cast<IComponent*>(this);
    } else if (sameTuid(iid, IAudioProcessor::iid)) {
      *obj = static_cast<IAudioProcessor*>(this);
    } else if (sameTuid(iid, IProcessContextRequirements::iid)) {
      *obj = static_cast<IProcessContextRequirements*>(this);
    } else {
      return kNoInterface;
    }
    addRef();
    return kResultOk;
  }
  uint32 VST3_CALL addRef() override { return ++refs; }
  uint32 VST3_CALL release() override { return --refs; }

  tresult VST3_CALL initialize(FUnknown*) override { return note("initialize"); }
  tresult VST3_CALL terminate() override { return note("terminate"); }
  tresult VST3_CALL getControllerClassId(TUID) override { return note("getControllerClassId"); }
  tresult VST3_CALL setIoMode(IoMode) override { return note("setIoMode"); }
  int32 VST3_CALL getBusCount(MediaType type, BusDirection dir) override {
    note("getBusCount");
    return type * 10 + dir;
  }
  tresult VST3_CALL getBusInfo(MediaType, BusDirection, int32, BusInfo&) override {
    return note("getBusInfo");
  }
  tresult VST3_CALL getRoutingInfo(RoutingInfo&, RoutingInfo&) override { return note("getRoutingInfo"); }
  tresult VST3_CALL activateBus(MediaType, BusDirection, int32, TBool) override {
    return note("activateBus");
  }
  tresult VST3_CALL setActive(TBool) override { return note("setActive"); }
  tresult VST3_CALL setState(IBStream*) override { return note("setState"); }
  tresult VST3_CALL getState(IBStream*) override { return note("getState"); }

  tresult VST3_CALL setBusArrangements(SpeakerArrangement*, int32, SpeakerArrangement*, int32) override {
    return note("setBusArrangements");
  }
  tresult VST3_CALL getBusArrangement(BusDirection, int32, SpeakerArrangement&) override {
    return note("getBusArrangement");
  }
  tresult VST3_CALL canProcessSampleSize(int32) override { return note("canProcessSampleSize"); }
  uint32 VST3_CALL getLatencySamples() override {
    note("getLatencySamples");
    return 0;
  }
  tresult VST3_CALL setupProcessing(ProcessSetup&) override { return note("setupProcessing"); }
  tresult VST3_CALL setProcessing(TBool) override { return note("setProcessing"); }
  tresult VST3_CALL process(ProcessData&) override { return note("process"); }
  uint32 VST3_CALL getTailSamples() override {
    note("getTailSamples");
    return kNoTail;
  }

  uint32 VST3_CALL getProcessContextRequirements() override {
    note("getProcessContextRequirements");
    return IProcessContextRequirements::kNeedTempo;
  }

  uint32 refs = 1;
};

TEST(Vst3Interfaces, QueryInterfaceFindsEachInterfaceByItsId) {
  Component component;
  FUnknown* unknown = static_cast<IComponent*>(&component);

  void* found = &component;
  EXPECT_EQ(unknown->queryInterface(IEditController::iid, &found), kNoInterface);
  EXPECT_EQ(found, nullptr);

  // The processor lives at its own address in the object: the host must be
  // handed that one.
  ASSERT_EQ(unknown->queryInterface(IAudioProcessor::iid, &found), kResultOk);
  EXPECT_EQ(found, static_cast<IAudioProcessor*>(&component));
  EXPECT_NE(found, static_cast<void*>(unknown));
  EXPECT_EQ(static_cast<IAudioProcessor*>(found)->getTailSamples(), kNoTail);
  EXPECT_EQ(component.refs, 2u);

  ASSERT_EQ(unknown->queryInterface(IProcessContextRequirements::iid, &found), kResultOk);
  EXPECT_EQ(callSlot<uint32>(found, 3), uint32{IProcessContextRequirements::kNeedTempo});
}

void expectSlots(Recorder& recorder, void* object, const std::vector<SlotCall>& calls) {
  for (const SlotCall& call : calls) {
    recorder.last.clear();
    call.call(object);
    EXPECT_EQ(recorder.last, call.method) << "slot " << call.slot;
  }
}

TEST(Vst3Interfaces, ComponentAndProcessorMethodsSitInTheDocumentedSlots) {
  Component component;
  void* c = static_cast<IComponent*>(&component);
  BusInfo bus{};
  RoutingInfo routing{};
  expectSlots(
      component, c,
      {
          {3, "initialize", [](void* o) { callSlot<tresult>(o, 3, static_cast<void*>(nullptr)); }},
          {4, "terminate", [](void* o) { callSlot<tresult>(o, 4); }},
          {5, "getControllerClassId", [](void* o) { callSlot<tresult>(o, 5, static_cast<char*>(nullptr)); }},
          {6, "setIoMode", [](void* o) { callSlot<tresult>(o, 6, int32{0}); }},
          {7, "getBusCount", [](void* o) { EXPECT_EQ(callSlot<int32>(o, 7, int32{1}, int32{0}), 10); }},
          {8, "getBusInfo", [&bus](void* o) { callSlot<tresult>(o, 8, int32{0}, int32{0}, int32{0}, &bus); }},
          {9, "getRoutingInfo", [&routing](void* o) { callSlot<tresult>(o, 9, &routing, &routing); }},
          {10, "activateBus",
           [](void* o) { callSlot<tresult>(o, 10, int32{0}, int32{0}, int32{0}, TBool{1}); }},
          {11, "setActive", [](void* o) { callSlot<tresult>(o, 11, TBool{1}); }},
          {12, "setState", [](void* o) { callSlot<tresult>(o, 12, static_cast<void*>(nullptr)); }},
          {13, "getState", [](void* o) { callSlot<tresult>(o, 13, static_cast<void*>(nullptr)); }},
      });

  void* p = static_cast<IAudioProcessor*>(&component);
  SpeakerArrangement arrangement = SpeakerArr::kStereo;
  ProcessSetup setup{};
  ProcessData data{};
  expectSlots(component, p,
              {
                  {3, "setBusArrangements",
                   [&](void* o) { callSlot<tresult>(o, 3, &arrangement, int32{1}, &arrangement, int32{1}); }},
                  {4, "getBusArrangement",
                   [&](void* o) { callSlot<tresult>(o, 4, int32{0}, int32{0}, &arrangement); }},
                  {5, "canProcessSampleSize", [](void* o) { callSlot<tresult>(o, 5, int32{kSample32}); }},
                  {6, "getLatencySamples", [](void* o) { callSlot<uint32>(o, 6); }},
                  {7, "setupProcessing", [&](void* o) { callSlot<tresult>(o, 7, &setup); }},
                  {8, "setProcessing", [](void* o) { callSlot<tresult>(o, 8, TBool{1}); }},
                  {9, "process", [&](void* o) { callSlot<tresult>(o, 9, &data); }},
                  {10, "getTailSamples", [](void* o) { callSlot<uint32>(o, 10); }},
              });
}

class Controller final : public IEditController, public Recorder {
 public:
  tresult VST3_CALL queryInterface(const TUID, void**) override { return kNoInterface; }
  uint32 VST3_CALL addRef() override { return 1; }
  uint32 VST3_CALL release() override { return 1; }
  tresult VST3_CALL initialize(FUnknown*) override { return note("initialize"); }
  tresult VST3_CALL terminate() override { return note("terminate"); }
  tresult VST3_CALL setComponentState(IBStream*) override { return note("setComponentState"); }
  tresult VST3_CALL setState(IBStream*) override { return note("setState"); }
  tresult VST3_CALL getState(IBStream*) override { return note("getState"); }
  int32 VST3_CALL getParameterCount() override {
    note("getParameterCount");
    return 0;
  }
  tresult VST3_CALL getParameterInfo(int32, ParameterInfo&) override { return note("getParameterInfo"); }
  tresult VST3_CALL getParamStringByValue(ParamID, ParamValue, String128) override {
    return note("getParamStringByValue");
  }
  tresult VST3_CALL getParamValueByString(ParamID, TChar*, ParamValue&) override {
    return note("getParamValueByString");
  }
  ParamValue VST3_CALL normalizedParamToPlain(ParamID, ParamValue value) override {
    note("normalizedParamToPlain");
    return value * 2;
  }
  ParamValue VST3_CALL plainParamToNormalized(ParamID, ParamValue value) override {
    note("plainParamToNormalized");
    return value / 2;
  }
  ParamValue VST3_CALL getParamNormalized(ParamID) override {
    note("getParamNormalized");
    return 0;
  }
  tresult VST3_CALL setParamNormalized(ParamID, ParamValue) override { return note("setParamNormalized"); }
  tresult VST3_CALL setComponentHandler(IComponentHandler*) override { return note("setComponentHandler"); }
  IPlugView* VST3_CALL createView(FIDString) override {
    note("createView");
    return nullptr;
  }
};

TEST(Vst3Interfaces, ControllerMethodsSitInTheDocumentedSlots) {
  Controller controller;
  ParameterInfo info{};
  String128 text{};
  ParamValue value = 0;
  expectSlots(
      controller, static_cast<IEditController*>(&controller),
      {
          {3, "initialize", [](void* o) { callSlot<tresult>(o, 3, static_cast<void*>(nullptr)); }},
          {4, "terminate", [](void* o) { callSlot<tresult>(o, 4); }},
          {5, "setComponentState", [](void* o) { callSlot<tresult>(o, 5, static_cast<void*>(nullptr)); }},
          {6, "setState", [](void* o) { callSlot<tresult>(o, 6, static_cast<void*>(nullptr)); }},
          {7, "getState", [](void* o) { callSlot<tresult>(o, 7, static_cast<void*>(nullptr)); }},
          {8, "getParameterCount", [](void* o) { callSlot<int32>(o, 8); }},
          {9, "getParameterInfo", [&](void* o) { callSlot<tresult>(o, 9, int32{0}, &info); }},
          {10, "getParamStringByValue",
           [&](void* o) { callSlot<tresult>(o, 10, ParamID{0}, ParamValue{0.5}, &text[0]); }},
          {11, "getParamValueByString",
           [&](void* o) { callSlot<tresult>(o, 11, ParamID{0}, &text[0], &value); }},
          {12, "normalizedParamToPlain",
           [](void* o) { EXPECT_EQ(callSlot<ParamValue>(o, 12, ParamID{0}, ParamValue{0.25}), 0.5); }},
          {13, "plainParamToNormalized",
           [](void* o) { EXPECT_EQ(callSlot<ParamValue>(o, 13, ParamID{0}, ParamValue{0.5}), 0.25); }},
          {14, "getParamNormalized", [](void* o) { callSlot<ParamValue>(o, 14, ParamID{0}); }},
          {15, "setParamNormalized", [](void* o) { callSlot<tresult>(o, 15, ParamID{0}, ParamValue{1}); }},
          {16, "setComponentHandler", [](void* o) { callSlot<tresult>(o, 16, static_cast<void*>(nullptr)); }},
          {17, "createView",
           [](void* o) { callSlot<void*>(o, 17, static_cast<const char*>(ViewType::kEditor)); }},
      });
}

class View final : public IPlugView, public Recorder {
 public:
  tresult VST3_CALL queryInterface(const TUID, void**) override { return kNoInterface; }
  uint32 VST3_CALL addRef() override { return 1; }
  uint32 VST3_CALL release() override { return 1; }
  tresult VST3_CALL isPlatformTypeSupported(FIDString) override { return note("isPlatformTypeSupported"); }
  tresult VST3_CALL attached(void*, FIDString) override { return note("attached"); }
  tresult VST3_CALL removed() override { return note("removed"); }
  tresult VST3_CALL onWheel(float) override { return note("onWheel"); }
  tresult VST3_CALL onKeyDown(char16, int16, int16) override { return note("onKeyDown"); }
  tresult VST3_CALL onKeyUp(char16, int16, int16) override { return note("onKeyUp"); }
  tresult VST3_CALL getSize(ViewRect*) override { return note("getSize"); }
  tresult VST3_CALL onSize(ViewRect*) override { return note("onSize"); }
  tresult VST3_CALL onFocus(TBool) override { return note("onFocus"); }
  tresult VST3_CALL setFrame(IPlugFrame*) override { return note("setFrame"); }
  tresult VST3_CALL canResize() override { return note("canResize"); }
  tresult VST3_CALL checkSizeConstraint(ViewRect*) override { return note("checkSizeConstraint"); }
};

TEST(Vst3Interfaces, ViewMethodsSitInTheDocumentedSlots) {
  View view;
  ViewRect rect{};
  const char* type = kPlatformTypeX11EmbedWindowID;
  expectSlots(
      view, static_cast<IPlugView*>(&view),
      {
          {3, "isPlatformTypeSupported", [&](void* o) { callSlot<tresult>(o, 3, type); }},
          {4, "attached", [&](void* o) { callSlot<tresult>(o, 4, static_cast<void*>(nullptr), type); }},
          {5, "removed", [](void* o) { callSlot<tresult>(o, 5); }},
          {6, "onWheel", [](void* o) { callSlot<tresult>(o, 6, 1.0f); }},
          {7, "onKeyDown", [](void* o) { callSlot<tresult>(o, 7, char16{'a'}, int16{0}, int16{0}); }},
          {8, "onKeyUp", [](void* o) { callSlot<tresult>(o, 8, char16{'a'}, int16{0}, int16{0}); }},
          {9, "getSize", [&](void* o) { callSlot<tresult>(o, 9, &rect); }},
          {10, "onSize", [&](void* o) { callSlot<tresult>(o, 10, &rect); }},
          {11, "onFocus", [](void* o) { callSlot<tresult>(o, 11, TBool{1}); }},
          {12, "setFrame", [](void* o) { callSlot<tresult>(o, 12, static_cast<void*>(nullptr)); }},
          {13, "canResize", [](void* o) { callSlot<tresult>(o, 13); }},
          {14, "checkSizeConstraint", [&](void* o) { callSlot<tresult>(o, 14, &rect); }},
      });
}

// The other direction: a host's object laid out as C lays it out, a table of
// functions taking the object first, called through our declarations.
struct HostObject {
  const void* const* vtable;
  std::string log;
};

std::string& logOf(void* self) {
  return static_cast<HostObject*>(self)->log;
}

tresult VST3_CALL hostBeginEdit(void* self, ParamID id) {
  logOf(self) += "beginEdit " + std::to_string(id) + ";";
  return kResultOk;
}
tresult VST3_CALL hostPerformEdit(void* self, ParamID id, ParamValue value) {
  logOf(self) += "performEdit " + std::to_string(id) + " " + std::to_string(value) + ";";
  return kResultOk;
}
tresult VST3_CALL hostEndEdit(void* self, ParamID id) {
  logOf(self) += "endEdit " + std::to_string(id) + ";";
  return kResultOk;
}
tresult VST3_CALL hostRestartComponent(void* self, int32 flags) {
  logOf(self) += "restartComponent " + std::to_string(flags) + ";";
  return kResultOk;
}
tresult VST3_CALL hostRegisterEventHandler(void* self, void*, Linux::FileDescriptor fd) {
  logOf(self) += "registerEventHandler " + std::to_string(fd) + ";";
  return kResultOk;
}
tresult VST3_CALL hostUnregisterEventHandler(void* self, void*) {
  logOf(self) += "unregisterEventHandler;";
  return kResultOk;
}
tresult VST3_CALL hostRegisterTimer(void* self, void*, Linux::TimerInterval milliseconds) {
  logOf(self) += "registerTimer " + std::to_string(milliseconds) + ";";
  return kResultOk;
}
tresult VST3_CALL hostUnregisterTimer(void* self, void*) {
  logOf(self) += "unregisterTimer;";
  return kResultOk;
}

// The host's objects are no C++ objects: the sanitizer's check of the
// object's dynamic type does not apply to these calls.
#if defined(__GNUC__)
#define NOT_A_CPP_OBJECT __attribute__((no_sanitize("vptr")))
#else
#define NOT_A_CPP_OBJECT
#endif

NOT_A_CPP_OBJECT void editThrough(IComponentHandler* handler) {
  handler->beginEdit(7);
  handler->performEdit(7, 0.25);
  handler->endEdit(7);
  handler->restartComponent(kParamValuesChanged | kLatencyChanged);
}

NOT_A_CPP_OBJECT void loopThrough(Linux::IRunLoop* runLoop) {
  runLoop->registerEventHandler(nullptr, 9);
  runLoop->registerTimer(nullptr, 50);
  runLoop->unregisterTimer(nullptr);
  runLoop->unregisterEventHandler(nullptr);
}

TEST(Vst3Interfaces, HostInterfacesCallTheDocumentedSlots) {
  // FUnknown's three slots are not called here.
  const void* const handlerTable[] = {nullptr,
                                      nullptr,
                                      nullptr,
                                      reinterpret_cast<const void*>(&hostBeginEdit),
                                      reinterpret_cast<const void*>(&hostPerformEdit),
                                      reinterpret_cast<const void*>(&hostEndEdit),
                                      reinterpret_cast<const void*>(&hostRestartComponent)};
  HostObject handlerObject{handlerTable, {}};
  editThrough(reinterpret_cast<IComponentHandler*>(&handlerObject));
  EXPECT_EQ(handlerObject.log, "beginEdit 7;performEdit 7 0.250000;endEdit 7;restartComponent 12;");

  const void* const runLoopTable[] = {nullptr,
                                      nullptr,
                                      nullptr,
                                      reinterpret_cast<const void*>(&hostRegisterEventHandler),
                                      reinterpret_cast<const void*>(&hostUnregisterEventHandler),
                                      reinterpret_cast<const void*>(&hostRegisterTimer),
                                      reinterpret_cast<const void*>(&hostUnregisterTimer)};
  HostObject runLoopObject{runLoopTable, {}};
  loopThrough(reinterpret_cast<Linux::IRunLoop*>(&runLoopObject));
  EXPECT_EQ(runLoopObject.log,
            "registerEventHandler 9;registerTimer 50;unregisterTimer;unregisterEventHandler;");
}

}  // namespace
