#pragma once

// The editor's view as the host embeds it, the host's frame around it, and on
// Linux the host's run loop, which drives the view's timers and descriptors.

#include "vst3/api/Base.h"

namespace vst3 {

struct ViewRect {
  int32 left;
  int32 top;
  int32 right;
  int32 bottom;
};

// IPlugView::attached's parent: a window handle or an X11 window ID.
inline constexpr char kPlatformTypeHWND[] = "HWND";
inline constexpr char kPlatformTypeX11EmbedWindowID[] = "X11EmbedWindowID";

struct IPlugFrame;

struct IPlugView : FUnknown {
  virtual tresult VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
  virtual tresult VST3_CALL attached(void* parent, FIDString type) = 0;
  virtual tresult VST3_CALL removed() = 0;
  virtual tresult VST3_CALL onWheel(float distance) = 0;
  virtual tresult VST3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult VST3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult VST3_CALL getSize(ViewRect* size) = 0;
  virtual tresult VST3_CALL onSize(ViewRect* newSize) = 0;
  virtual tresult VST3_CALL onFocus(TBool state) = 0;
  virtual tresult VST3_CALL setFrame(IPlugFrame* frame) = 0;
  virtual tresult VST3_CALL canResize() = 0;
  virtual tresult VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;

  static constexpr Uid iid = makeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
};

struct IPlugFrame : FUnknown {
  virtual tresult VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;

  static constexpr Uid iid = makeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
};

struct IPlugViewContentScaleSupport : FUnknown {
  using ScaleFactor = float;

  virtual tresult VST3_CALL setContentScaleFactor(ScaleFactor factor) = 0;

  static constexpr Uid iid = makeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);
};

// The Linux host's run loop, queried from the view's frame (IPlugFrame) or
// from the context IPluginFactory3::setHostContext passes: a plug-in runs on
// the host's thread and must not block, so its descriptors and timers are the
// host's to watch. The documentation keeps these in their own namespace.
namespace Linux {

using FileDescriptor = int;
using TimerInterval = uint64;

struct IEventHandler : FUnknown {
  virtual void VST3_CALL onFDIsSet(FileDescriptor fd) = 0;

  static constexpr Uid iid = makeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
};

struct ITimerHandler : FUnknown {
  virtual void VST3_CALL onTimer() = 0;

  static constexpr Uid iid = makeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
};

struct IRunLoop : FUnknown {
  virtual tresult VST3_CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
  virtual tresult VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult VST3_CALL registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
  virtual tresult VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;

  static constexpr Uid iid = makeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
};

}  // namespace Linux

}  // namespace vst3
