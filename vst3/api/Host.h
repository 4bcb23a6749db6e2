#pragma once

// What the host offers every plug-in object: its application context, and the
// messages a component and its controller send each other through it.

#include "vst3/api/Base.h"

namespace vst3 {

struct IAttributeList : FUnknown {
  using AttrID = const char*;

  virtual tresult VST3_CALL setInt(AttrID id, int64 value) = 0;
  virtual tresult VST3_CALL getInt(AttrID id, int64& value) = 0;
  virtual tresult VST3_CALL setFloat(AttrID id, double value) = 0;
  virtual tresult VST3_CALL getFloat(AttrID id, double& value) = 0;
  virtual tresult VST3_CALL setString(AttrID id, const TChar* string) = 0;
  virtual tresult VST3_CALL getString(AttrID id, TChar* string, uint32 sizeInBytes) = 0;
  virtual tresult VST3_CALL setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;
  virtual tresult VST3_CALL getBinary(AttrID id, const void*& data, uint32& sizeInBytes) = 0;

  static constexpr Uid iid = makeUid(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
};

struct IMessage : FUnknown {
  virtual FIDString VST3_CALL getMessageID() = 0;
  virtual void VST3_CALL setMessageID(FIDString id) = 0;
  virtual IAttributeList* VST3_CALL getAttributes() = 0;

  static constexpr Uid iid = makeUid(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
};

struct IConnectionPoint : FUnknown {
  virtual tresult VST3_CALL connect(IConnectionPoint* other) = 0;
  virtual tresult VST3_CALL disconnect(IConnectionPoint* other) = 0;
  virtual tresult VST3_CALL notify(IMessage* message) = 0;

  static constexpr Uid iid = makeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
};

// The context the host passes to IPluginBase::initialize.
struct IHostApplication : FUnknown {
  virtual tresult VST3_CALL getName(String128 name) = 0;
  virtual tresult VST3_CALL createInstance(TUID cid, TUID _iid, void** obj) = 0;

  static constexpr Uid iid = makeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
};

}  // namespace vst3
