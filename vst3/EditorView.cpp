#include "vst3/EditorView.h"

#include <cstring>

#include "framework/window/Desktop.h"
#include "plugin/Parameters.h"
#include "vst3/Effect.h"

namespace vst3plugin {

using namespace vst3;
using Linux::FileDescriptor;
using Linux::IEventHandler;
using Linux::IRunLoop;
using Linux::ITimerHandler;
using Linux::TimerInterval;

namespace {

// The window system's 50 ms refresh and its paints are due on the host's
// timer; input wakes the descriptor handler at once.
constexpr TimerInterval kRunLoopTimerMs = 16;

}  // namespace

EditorView::EditorView(Effect& effect) : effect_(effect), controller_(effect) {
  effect_.addRef();
}

EditorView::~EditorView() {
  detach();
  effect_.release();
}

tresult EditorView::queryInterface(const TUID iid, void** object) {
  if (object == nullptr) return kInvalidArgument;
  void* found = nullptr;
  if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, IPlugView::iid))
    found = static_cast<IPlugView*>(this);
  else if (sameTuid(iid, IPlugViewContentScaleSupport::iid))
    found = static_cast<IPlugViewContentScaleSupport*>(this);
  else if (sameTuid(iid, ITimerHandler::iid))
    found = static_cast<ITimerHandler*>(this);
  else if (sameTuid(iid, IEventHandler::iid))
    found = static_cast<IEventHandler*>(this);
  *object = found;
  if (found == nullptr) return kNoInterface;
  addRef();
  return kResultOk;
}

uint32 EditorView::addRef() {
  return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 EditorView::release() {
  const uint32 left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

tresult EditorView::isPlatformTypeSupported(FIDString type) {
  return type != nullptr && std::strcmp(type, PLONKRIFT_VST3_WINDOW_TYPE) == 0 ? kResultTrue : kResultFalse;
}

tresult EditorView::attached(void* parent, FIDString type) {
  if (parent == nullptr || window_ != nullptr || isPlatformTypeSupported(type) != kResultTrue)
    return kResultFalse;
  try {
    const auto handle = reinterpret_cast<framework::TWindowHandle>(parent);
    // A parent that is no window of the desktop is refused, here or when the
    // window is made in it (EWindowError).
    system_ = framework::DesktopWindowSystemFor(handle);
    window_ = TPluginEditorWindow::CreateIn(&controller_, effect_.core().params, system_, handle);
  } catch (...) {
    // Nothing at the host boundary throws: a window that could not be made
    // is no view.
    window_.reset();
    system_.reset();
    return kResultFalse;
  }
  joinRunLoop();
  return kResultOk;
}

void EditorView::joinRunLoop() {
  if (frame_ == nullptr || system_ == nullptr || runLoop_ != nullptr) return;
  void* loop = nullptr;
  if (frame_->queryInterface(IRunLoop::iid, &loop) != kResultOk || loop == nullptr) return;
  runLoop_ = static_cast<IRunLoop*>(loop);
  timerRegistered_ = runLoop_->registerTimer(this, kRunLoopTimerMs) == kResultOk;
  const int descriptor = system_->FileDescriptor();
  if (descriptor >= 0) handlerRegistered_ = runLoop_->registerEventHandler(this, descriptor) == kResultOk;
}

void EditorView::leaveRunLoop() {
  if (runLoop_ != nullptr) {
    if (timerRegistered_) runLoop_->unregisterTimer(this);
    if (handlerRegistered_) runLoop_->unregisterEventHandler(this);
    runLoop_->release();
  }
  runLoop_ = nullptr;
  timerRegistered_ = handlerRegistered_ = false;
}

void EditorView::detach() {
  leaveRunLoop();
  try {
    // The window first: closing it may still end a gesture through the
    // controller, and it lives in the window system.
    window_.reset();
    system_.reset();
  } catch (...) {
  }
}

tresult EditorView::removed() {
  if (window_ == nullptr) return kResultFalse;
  detach();
  return kResultOk;
}

tresult EditorView::getSize(ViewRect* size) {
  if (size == nullptr) return kInvalidArgument;
  size->left = 0;
  size->top = 0;
  size->right = window_ ? window_->Width() : TPluginEditorWindow::kWidth;
  size->bottom = window_ ? window_->Height() : TPluginEditorWindow::kHeight;
  return kResultOk;
}

tresult EditorView::onSize(ViewRect* newSize) {
  // The window's size is fixed; the host's frame may be larger.
  return newSize != nullptr ? kResultOk : kInvalidArgument;
}

tresult EditorView::setFrame(IPlugFrame* frame) {
  // Hosts give the frame before or after attached, and may take it away
  // before removed: the view runs from the run loop of the frame it has.
  if (frame == frame_) return kResultOk;
  leaveRunLoop();
  frame_ = frame;
  joinRunLoop();
  return kResultOk;
}

tresult EditorView::checkSizeConstraint(ViewRect* rect) {
  if (rect == nullptr) return kInvalidArgument;
  ViewRect fixed{};
  getSize(&fixed);
  rect->right = rect->left + fixed.right;
  rect->bottom = rect->top + fixed.bottom;
  return kResultTrue;
}

tresult EditorView::setContentScaleFactor(IPlugViewContentScaleSupport::ScaleFactor factor) {
  // Drawn at one size for now: the host's scale is taken note of and the
  // size stays what getSize says.
  return factor > 0.0f ? kResultOk : kInvalidArgument;
}

void EditorView::onTimer() {
  effect_.reportProgramChange();
  if (system_ == nullptr) return;
  try {
    system_->Update();
  } catch (...) {
  }
}

void EditorView::onFDIsSet(FileDescriptor) {
  if (system_ == nullptr) return;
  try {
    system_->Update();
  } catch (...) {
  }
}

// --- the window's controller

float EditorView::Controller::getParameter(int index) {
  return effect_.core().getParameter(index);
}

void EditorView::Controller::setParameterAutomated(int index, float value) {
  if (!parameters::isValueSlot(index)) return;
  effect_.core().setParameter(index, value);
  if (IComponentHandler* host = effect_.componentHandler())
    host->performEdit(static_cast<ParamID>(index), effect_.core().getParameter(index));
}

void EditorView::Controller::beginEdit(int index) {
  if (!parameters::isValueSlot(index)) return;
  if (IComponentHandler* host = effect_.componentHandler()) host->beginEdit(static_cast<ParamID>(index));
}

void EditorView::Controller::endEdit(int index) {
  if (!parameters::isValueSlot(index)) return;
  if (IComponentHandler* host = effect_.componentHandler()) host->endEdit(static_cast<ParamID>(index));
}

bool EditorView::Controller::timeInfoMissing() const {
  return effect_.core().timeInfoMissing();
}

}  // namespace vst3plugin
