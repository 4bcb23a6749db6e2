#pragma once

// The audio component: its buses, its state and the controller class that
// edits it.

#include "vst3/api/Base.h"

namespace vst3 {

using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;

enum MediaTypes : int32 { kAudio = 0, kEvent, kNumMediaTypes };
enum BusDirections : int32 { kInput = 0, kOutput };
enum BusTypes : int32 { kMain = 0, kAux };
enum IoModes : int32 { kSimple = 0, kAdvanced, kOfflineProcessing };

struct BusInfo {
  enum BusFlags : uint32 {
    kDefaultActive = 1 << 0,
    kIsControlVoltage = 1 << 1,
  };

  MediaType mediaType;
  BusDirection direction;
  int32 channelCount;
  String128 name;
  BusType busType;
  uint32 flags;
};

struct RoutingInfo {
  MediaType mediaType;
  int32 busIndex;
  int32 channel;
};

struct IComponent : IPluginBase {
  virtual tresult VST3_CALL getControllerClassId(TUID classId) = 0;
  virtual tresult VST3_CALL setIoMode(IoMode mode) = 0;
  virtual int32 VST3_CALL getBusCount(MediaType type, BusDirection dir) = 0;
  virtual tresult VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) = 0;
  virtual tresult VST3_CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
  virtual tresult VST3_CALL activateBus(MediaType type, BusDirection dir, int32 index, TBool state) = 0;
  virtual tresult VST3_CALL setActive(TBool state) = 0;
  virtual tresult VST3_CALL setState(IBStream* state) = 0;
  virtual tresult VST3_CALL getState(IBStream* state) = 0;

  static constexpr Uid iid = makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
};

}  // namespace vst3
