// TWinControl: controls with a window of their own (or inside one), their children, input routing and
// painting.

#include <algorithm>
#include <cmath>

#include "framework/graphics/Region.h"
#include "framework/window/Application.h"
#include "framework/window/ControlGeometry.h"
#include "framework/window/Controls.h"
#include "framework/window/StdCtrls.h"
#include "framework/window/Timer.h"
#include "framework/window/WindowInternal.h"
#include "framework/window/WindowRoot.h"

namespace framework {

using namespace detail;

const ClassInfo& TWinControl::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TWinControl, TControl>("TWinControl")
                                     .Integer(
                                         "TabOrder", [](TWinControl& c) { return c.TabOrder(); },
                                         [](TWinControl& c, std::int32_t v) { c.SetTabOrder(v); })
                                     .Stored([](TWinControl& c) { return c.Parent() != nullptr; })
                                     .Boolean(
                                         "TabStop", [](TWinControl& c) { return c.TabStop(); },
                                         [](TWinControl& c, bool v) { c.SetTabStop(v); })
                                     .Default(false)
                                     .Event(
                                         "OnEnter", [](TWinControl & c) -> auto& { return c.OnEnter; })
                                     .Event(
                                         "OnExit", [](TWinControl & c) -> auto& { return c.OnExit; })
                                     .Event(
                                         "OnKeyDown", [](TWinControl & c) -> auto& { return c.OnKeyDown; })
                                     .Event(
                                         "OnKeyPress", [](TWinControl & c) -> auto& { return c.OnKeyPress; })
                                     .Event(
                                         "OnKeyUp", [](TWinControl & c) -> auto& { return c.OnKeyUp; })
                                     .Build();
  return info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {
  windowed_ = true;
}

TWinControl::~TWinControl() {
  for (TControl* c : std::vector<TControl*>(controls_)) {
    if (c->Owner())
      RemoveControl(c);
    else
      delete c;
  }
  root_.reset();
}

detail::TWindowRoot& TWinControl::Root() {
  TWinControl* top = TopWindow();
  if (!top->root_) top->root_ = std::make_unique<detail::TWindowRoot>(*top);
  return *top->root_;
}

detail::TWindowRoot* TWinControl::RootIfAny() const {
  const TWinControl* top = TopWindow();
  return top ? top->root_.get() : nullptr;
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  control->parent_ = this;
  if (auto* w = dynamic_cast<TWinControl*>(control)) {
    tabList_.push_back(w);
    w->Invalidate();
  }
  control->Invalidate();
}

void TWinControl::RemoveControl(TControl* control) {
  auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it == controls_.end()) return;
  if (detail::TWindowRoot* root = RootIfAny()) root->Forget(control);
  control->Invalidate();
  controls_.erase(it);
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), control), tabList_.end());
  control->parent_ = nullptr;
}

TControl* TWinControl::ControlAtPos(TPoint p, bool allowDisabled, bool allowWinControls) const {
  auto hit = [&](const TControl* c) {
    return c->visible_ && (c->enabled_ || allowDisabled) && Contains(c->BoundsRect(), p);
  };
  if (allowWinControls && !tabList_.empty())
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
      if ((*it)->windowed_ && hit(*it)) return *it;
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
    if (!(*it)->windowed_ && hit(*it)) return *it;
  return nullptr;
}

TControl* TWinControl::FindControlAt(TPoint p) {
  TControl* c = ControlAtPos(p, false, true);
  if (!c) return this;
  if (c->windowed_) return static_cast<TWinControl*>(c)->FindControlAt({p.X - c->Left(), p.Y - c->Top()});
  return c;
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  if (root == this) return TComponent::GetChildren(proc, root);
  for (TControl* c : std::vector<TControl*>(controls_))
    if (c->Owner() == root) proc(c);
}

std::int32_t TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->tabList_;
  return static_cast<std::int32_t>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(std::int32_t order) {
  if (!Parent()) return;
  auto& list = Parent()->tabList_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  const auto count = static_cast<std::int32_t>(list.size());
  if (order < 0 || order > count) order = count;
  list.insert(list.begin() + order, this);
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

bool TWinControl::Focused() const {
  const detail::TWindowRoot* root = RootIfAny();
  return root && root->focused == this;
}

void TWinControl::SetFocus() {
  if (!CanFocus()) return;
  detail::TWindowRoot& root = Root();
  if (root.focused != this) {
    TWinControl* old = root.focused;
    root.focused = this;
    if (old) old->Perform(TMessageId::KillFocus);
    if (root.focused != this) return;  // an exit handler moved the focus
    Perform(TMessageId::SetFocus);
  }
  if (root.window && !root.hasFocus) {
    root.hasFocus = true;
    root.window->SetFocus();
  }
}

void TWinControl::CollectTabOrder(std::vector<TWinControl*>& out) const {
  for (TWinControl* c : tabList_) {
    out.push_back(c);
    c->CollectTabOrder(out);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward) const {
  std::vector<TWinControl*> list;
  CollectTabOrder(list);
  const auto n = static_cast<std::ptrdiff_t>(list.size());
  if (n == 0) return nullptr;
  auto found = std::find(list.begin(), list.end(), current);
  std::ptrdiff_t i = found != list.end() ? found - list.begin() : (forward ? -1 : n);
  for (std::ptrdiff_t step = 0; step < n; ++step) {
    i = ((forward ? i + 1 : i - 1) % n + n) % n;
    TWinControl* c = list[static_cast<std::size_t>(i)];
    if (c != current && c->tabStop_ && c->CanFocus()) return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool forward) {
  if (TWinControl* next = FindNextControl(current, forward)) next->SetFocus();
}

TControl* TWinControl::CaptureControl() const {
  const detail::TWindowRoot* root = RootIfAny();
  return root ? root->capture : nullptr;
}

TWinControl* TWinControl::FocusedControl() const {
  const detail::TWindowRoot* root = RootIfAny();
  return root ? root->focused : nullptr;
}

bool TWinControl::HandleAllocated() const {
  const detail::TWindowRoot* root = RootIfAny();
  return root && root->window;
}

TWindowHandle TWinControl::Handle() const {
  const detail::TWindowRoot* root = RootIfAny();
  return root && root->window ? root->window->Handle() : 0;
}

TBackendWindow* TWinControl::BackendWindow() const {
  const detail::TWindowRoot* root = RootIfAny();
  return root ? root->window.get() : nullptr;
}

void TWinControl::HandleNeeded() {
  TWinControl* top = TopWindow();
  if (top != this) return top->HandleNeeded();
  detail::TWindowRoot& root = Root();
  if (root.window) return;
  if (!system_)
    throw EInvalidOperation("A window needs a window system: the top-level control was given none");
  root.system = system_;
  root.window = system_->CreateWindow(parentWindow_, BoundsRect(), root);
  if (Visible()) root.window->Show();
  root.Expose(ClientRect(), *this);
}

namespace {
// The timers that belong to c's window: those c owns, and those of its
// controls, at any depth, each once, in the order they were made there.
void CollectTimers(TComponent& c, std::vector<TTimer*>& out) {
  for (int i = 0; i < c.ComponentCount(); ++i) {
    TComponent* owned = c.Components(i);
    if (auto* timer = dynamic_cast<TTimer*>(owned);
        timer && std::find(out.begin(), out.end(), timer) == out.end())
      out.push_back(timer);
    CollectTimers(*owned, out);
  }
  if (auto* w = dynamic_cast<TWinControl*>(&c))
    for (int i = 0; i < w->ControlCount(); ++i) CollectTimers(*w->Controls(i), out);
}
}  // namespace

void TWinControl::SetWindowSystem(std::shared_ptr<TWindowSystem> system) {
  if (Parent()) throw EInvalidOperation("Only a top-level window has a window system");
  if (system == system_) return;
  DestroyHandle();
  system_ = std::move(system);
  std::vector<TTimer*> timers;
  CollectTimers(*this, timers);
  for (TTimer* timer : timers) timer->UpdateTimer();
}

const std::shared_ptr<TWindowSystem>& TWinControl::WindowSystemPtr() const {
  static const std::shared_ptr<TWindowSystem> none;
  const TWinControl* top = TopWindow();
  return top ? top->system_ : none;
}

void TWinControl::DestroyHandle() {
  if (detail::TWindowRoot* root = RootIfAny(); root && TopWindow() == this) root->DestroyWindow();
}

void TWinControl::SetParentWindow(TWindowHandle parent) {
  if (Parent()) throw EInvalidOperation("Only a top-level window can have a parent window");
  if (parent != parentWindow_) {
    // A window the window system can move keeps what was made for it (and
    // shown in it); any other is made anew in the new parent, and so is one
    // another thread made, whose events only that thread would see.
    TBackendWindow* window = root_ ? root_->window.get() : nullptr;
    if (!window || window->Thread() != std::this_thread::get_id() || !window->Reparent(parent))
      DestroyHandle();
    parentWindow_ = parent;
  }
  // A hidden window of its own is made when it shows.
  if (parent != 0 || Visible()) HandleNeeded();
}

void TWinControl::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  const TRect old = BoundsRect();
  TControl::SetBounds(left, top, width, height);
  if (BoundsRect() == old) return;
  if (!Parent() && root_ && root_->window) root_->window->SetBounds(BoundsRect());
  // A moved child window shows its whole picture at the new place; windowed
  // children inside it may come into view, and were painted only where they
  // showed (InvalidateRect).
  if (Parent() || Width() != old.Right - old.Left || Height() != old.Bottom - old.Top) InvalidateTree();
}

bool TWinControl::CoveredByWindowedChildren(const TRect& rect) const {
  std::vector<TRect> covers;
  for (const TControl* c : controls_)
    if (c->windowed_ && c->Visible()) covers.push_back(c->BoundsRect());
  if (covers.empty()) return false;
  TRegion region(rect);
  for (const TRect& cover : covers)
    region = TRegion::Combine(region, TRegion(cover), TRegion::TCombineMode::Diff);
  return region.IsEmpty();
}

void TWinControl::InvalidateTree() {
  Invalidate();
  for (TControl* c : controls_)
    if (c->windowed_) static_cast<TWinControl*>(c)->InvalidateTree();
}

void TWinControl::Show() {
  SetVisible(true);
  if (!Parent()) HandleNeeded();
}

void TWinControl::SetParent(TWinControl* parent) {
  if (parent && !Parent() && root_) {
    // Becoming a child: the window and its state go.
    root_.reset();
  }
  TControl::SetParent(parent);
  if (parent) Invalidate();
}

void TWinControl::Invalidate() {
  InvalidateRect(ClientRect());
}

void TWinControl::InvalidateRect(const TRect& rect) {
  // Only what shows through the parents is painted: Present would drop the
  // rest (a container taller than its window, places kept below it). Moves
  // and resizes invalidate what comes into view, the window system what it
  // exposes.
  const TRect r = Intersect(rect, VisibleClientRect());
  if (IsEmpty(r)) return;
  if (!updatePending_) {
    updateRect_ = r;
    updatePending_ = true;
    return;
  }
  updateRect_ = {std::min(updateRect_.Left, r.Left), std::min(updateRect_.Top, r.Top),
                 std::max(updateRect_.Right, r.Right), std::max(updateRect_.Bottom, r.Bottom)};
}

TRect TWinControl::VisibleClientRect() const {
  const TPoint origin = ClientToWindow({0, 0});
  return Offset(VisibleWindowRect(), {-origin.X, -origin.Y});
}

TRect TWinControl::VisibleWindowRect() const {
  const TPoint origin = ClientToWindow({0, 0});
  TRect r = Offset(ClientRect(), origin);
  for (const TWinControl* a = Parent(); a; a = a->Parent())
    r = Intersect(r, Offset(a->ClientRect(), a->ClientToWindow({0, 0})));
  return r;
}

void TWinControl::Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                          const TRect& rect) {
  TBackendWindow* window = BackendWindow();
  if (!window || !bits) return;
  const TPoint origin = ClientToWindow({0, 0});
  const TRect r = Intersect(Intersect(rect, ClientRect()), TRect{0, 0, width, height});
  const TRect target = Intersect(Offset(r, origin), VisibleWindowRect());
  if (IsEmpty(target)) return;
  std::vector<TRect> covered;
  for (TControl* c : controls_)
    if (c->windowed_ && c->Visible()) {
      const TRect cr = Intersect(Offset(c->BoundsRect(), origin), target);
      if (!IsEmpty(cr)) covered.push_back(cr);
    }
  auto present = [&](const TRect& t) {
    window->Present(bits, width, height, Offset(t, {-origin.X, -origin.Y}), {t.Left, t.Top});
  };
  if (covered.empty()) return present(target);
  TRegion region(target);
  for (const TRect& cr : covered) region = TRegion::Combine(region, TRegion(cr), TRegion::TCombineMode::Diff);
  for (const TRect& t : region.Rects()) present(t);
}

TCanvas& TWinControl::Canvas() {
  const std::size_t need = static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()) * 4;
  if (paintBits_.size() != need || !canvas_) {
    if (paintBits_.size() != need) paintBits_.assign(need, 0);
    canvas_ = std::make_unique<TCanvas>(paintBits_.data(), Width(), Height());
  }
  return *canvas_;
}

void TWinControl::PaintWindow(const TRect& rect) {
  if (Width() <= 0 || Height() <= 0) return;
  const TRect r = Intersect(rect, ClientRect());
  // Under windowed children nothing of this picture would show (a form
  // filled by its container).
  if (IsEmpty(r) || CoveredByWindowedChildren(r)) return;
  Canvas();
  FillPixels(paintBits_.data(), Width(), Height(), r, ColorPixel(Color()));
  Paint();
  PaintControls(paintBits_.data(), Width(), Height(), r);
  Present(paintBits_.data(), Width(), Height(), r);
}

void TWinControl::PaintControls(std::uint8_t* bits, std::int32_t width, std::int32_t height,
                                const TRect& rect) {
  const TRect area = Intersect(rect, TRect{0, 0, width, height});
  for (TControl* c : std::vector<TControl*>(controls_)) {
    if (c->windowed_ || !c->Visible()) continue;
    const TRect clip = Intersect(c->BoundsRect(), area);
    if (IsEmpty(clip)) continue;
    c->PaintControl(TPaintContext{bits, width, height, {c->Left(), c->Top()}, clip});
  }
}

bool TWinControl::IsControlMouseMsg(TMessage& m) {
  const detail::TWindowRoot* root = RootIfAny();
  TControl* capture = root ? root->capture : nullptr;
  TControl* c = nullptr;
  if (!capture)
    c = ControlAtPos({m.X, m.Y});
  else if (capture->Parent() == this && !capture->windowed_)
    c = capture;
  if (!c) return false;
  TMessage cm = m;
  cm.X -= c->Left();
  cm.Y -= c->Top();
  c->WndProc(cm);
  m.Result = cm.Result;
  return true;
}

void TWinControl::WndProc(TMessage& m) {
  switch (m.Id) {
    case TMessageId::MouseDown:
    case TMessageId::MouseUp:
    case TMessageId::MouseMove:
      if (IsControlMouseMsg(m)) return;
      break;
    case TMessageId::SetCursor:
      if (TControl* c = ControlAtPos({m.X, m.Y})) {
        TMessage cm = m;
        cm.X -= c->Left();
        cm.Y -= c->Top();
        c->WndProc(cm);
        m.Result = cm.Result;
      }
      return;
    case TMessageId::KeyDown:
    case TMessageId::KeyUp:
    case TMessageId::Char: {
      TCustomForm* form = GetParentForm(this);
      if (form && form != this && form->PreviewKey(m)) {
        m.Result = 1;
        return;
      }
      if (m.Id == TMessageId::Char) {
        char ch = static_cast<char>(m.Key);
        KeyPress(ch);
        m.Key = static_cast<std::uint8_t>(ch);
      } else {
        std::uint16_t key = m.Key;
        if (m.Id == TMessageId::KeyDown)
          KeyDown(key, m.Shift);
        else
          KeyUp(key, m.Shift);
        m.Key = key;
      }
      if (m.Key == 0) m.Result = 1;
      return;
    }
    case TMessageId::SetFocus:
      DoEnter();
      return;
    case TMessageId::KillFocus:
      DoExit();
      return;
    case TMessageId::VisibleChanged:
      if (!Parent() && root_ && root_->window) {
        if (Visible()) {
          root_->window->Show();
          root_->Expose(ClientRect(), *this);
        } else {
          root_->LeaveUser();
          root_->window->Hide();
        }
      }
      break;
    default:
      break;
  }
  TControl::WndProc(m);
}

void TWinControl::KeyDown(std::uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(std::uint16_t& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

bool PaintsPendingInTree(const TWinControl& w) {
  if (w.Parent() && !w.Visible()) return false;
  if (w.updatePending_) return true;
  for (const TControl* c : w.controls_)
    if (c->windowed_ && PaintsPendingInTree(static_cast<const TWinControl&>(*c))) return true;
  return false;
}

void PaintWindowTree(TWinControl& w) {
  if (w.Parent() && !w.Visible()) return;
  // A paint may ask for a larger area and end; its follow-up runs here too,
  // a few rounds at most.
  for (int round = 0; round < 4 && w.updatePending_; ++round) {
    // Invalidated before the control had its place (or parent): what does not
    // show now is left until it does.
    const TRect r = Intersect(w.updateRect_, w.VisibleClientRect());
    w.updatePending_ = false;
    w.updateRect_ = {};
    if (IsEmpty(r)) continue;
    try {
      w.PaintWindow(r);
    } catch (...) {
      HandleException();
    }
  }
  if (w.tabList_.empty()) return;  // no windowed children
  const std::vector<TControl*> children = w.controls_;
  for (TControl* c : children)
    if (std::find(w.controls_.begin(), w.controls_.end(), c) != w.controls_.end() && c->windowed_)
      PaintWindowTree(static_cast<TWinControl&>(*c));
}

}  // namespace framework
