#include "framework/window/Controls.h"

#include <algorithm>
#include <cmath>

#include "framework/graphics/Region.h"
#include "framework/window/Application.h"
#include "framework/window/StdCtrls.h"
#include "framework/window/Timer.h"
#include "framework/window/WindowInternal.h"

namespace framework {

namespace {

bool IsEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  return IsEmpty(r) ? TRect{} : r;
}

TRect Offset(const TRect& r, TPoint d) { return {r.Left + d.X, r.Top + d.Y, r.Right + d.X, r.Bottom + d.Y}; }

bool Contains(const TRect& r, TPoint p) { return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom; }

// c is inside (or is) ancestor.
bool IsWithin(const TControl* c, const TControl* ancestor) {
  for (; c; c = c->Parent())
    if (c == ancestor) return true;
  return false;
}

std::uint32_t ColorPixel(TColor color) {
  const std::uint32_t rgb = ColorToRGB(color);
  return 0xFF000000u | ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
}

void FillPixels(std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& rect, std::uint32_t pixel) {
  auto* px = reinterpret_cast<std::uint32_t*>(bits);
  for (std::int32_t y = rect.Top; y < rect.Bottom; ++y) {
    std::uint32_t* row = px + static_cast<std::ptrdiff_t>(height - 1 - y) * width;
    std::fill(row + rect.Left, row + rect.Right, pixel);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The state of one top-level window.

namespace detail {

struct TWindowRoot final : IWindowEvents {
  explicit TWindowRoot(TWinControl& o) : owner(o) {}
  ~TWindowRoot() { DestroyWindow(); }

  TWinControl& owner;
  // The backend outlives its window: declared first, released last.
  std::shared_ptr<TWindowBackend> backend;
  std::unique_ptr<TBackendWindow> window;
  TControl* capture = nullptr;
  TControl* mouseControl = nullptr;  // under the pointer
  TControl* pressed = nullptr;       // received the pending left press
  TWinControl* focused = nullptr;
  bool hasFocus = false;
  TCursor shownCursor = crDefault;
  TPoint lastPos;

  void DestroyWindow() {
    if (!window) return;
    CancelCapture();
    UnregisterRoot(&owner);
    window.reset();
  }

  void HandleWindowEvent(const TWindowEvent& e) override {
    try {
      Dispatch(e);
    } catch (...) {
      HandleException();
    }
  }

  void Dispatch(const TWindowEvent& e) {
    using K = TWindowEvent::TKind;
    switch (e.Kind) {
      case K::MouseMove:
      case K::MouseDown:
      case K::MouseUp:
      case K::MouseExit:
        return Mouse(e);
      case K::KeyDown:
      case K::KeyUp:
      case K::Char:
        return Key(e);
      case K::Expose:
        return Expose(e.Rect, owner);
      case K::FocusIn:
        return FocusIn();
      case K::FocusOut:
        hasFocus = false;
        if (focused) focused->Perform(TMessageId::KillFocus);
        return;
    }
  }

  void Expose(const TRect& rect, TWinControl& w) {
    const TPoint origin = w.ClientToWindow({0, 0});
    w.InvalidateRect(Offset(rect, {-origin.X, -origin.Y}));
    for (int i = 0; i < w.ControlCount(); ++i)
      if (auto* child = dynamic_cast<TWinControl*>(w.Controls(i))) Expose(rect, *child);
  }

  void FocusIn() {
    if (hasFocus) return;
    hasFocus = true;
    if (!focused) {
      TWinControl* first = owner.FindNextControl(nullptr, (KeyboardState() & ssShift) == 0);
      focused = first ? first : &owner;
    }
    focused->Perform(TMessageId::SetFocus);
  }

  void Mouse(const TWindowEvent& e) {
    using K = TWindowEvent::TKind;
    const TPoint p{e.X, e.Y};
    lastPos = p;
    const TMessageId id = e.Kind == K::MouseDown ? TMessageId::MouseDown
                          : e.Kind == K::MouseUp ? TMessageId::MouseUp
                                                 : TMessageId::MouseMove;
    if (e.Kind != K::MouseExit && owner.Enabled()) {
      TMessage preview;
      preview.Id = id;
      preview.Button = e.Button;
      preview.Shift = e.Shift;
      preview.X = p.X;
      preview.Y = p.Y;
      owner.PreviewMouse(preview);
    }
    const bool inside = e.Kind != K::MouseExit && Contains(owner.ClientRect(), p) && owner.Enabled();
    Track(inside ? owner.FindControlAt(p) : nullptr);
    if (e.Kind == K::MouseExit) return;

    TWinControl* target = nullptr;
    if (capture) {
      target = dynamic_cast<TWinControl*>(capture);
      if (!target) target = capture->Parent();
    } else if (inside && mouseControl) {
      target = dynamic_cast<TWinControl*>(mouseControl);
      if (!target) target = mouseControl->Parent();
    }
    if (target) {
      const TPoint origin = target->ClientToWindow({0, 0});
      TMessage m;
      m.Id = id;
      m.Button = e.Button;
      m.Shift = e.Shift;
      m.X = p.X - origin.X;
      m.Y = p.Y - origin.Y;
      target->WndProc(m);
    }
    if (e.Kind == K::MouseUp) {
      if (e.Button == mbLeft) {
        if (pressed) pressed->clicked_ = false;
        pressed = nullptr;
      }
      // A capture taken by a press never outlives the last held button, even
      // when the control's handling did not release it.
      if ((e.Shift & ssButtons) == 0 && capture && (capture->ControlStyle() & csCaptureMouse)) SetCapture(nullptr);
    }
    if (e.Kind != K::MouseDown) UpdateCursor();
  }

  // Enter and leave follow the pointer; while a control holds the capture,
  // only that control is told.
  void Track(TControl* c) {
    TControl* old = mouseControl;
    if (old == c) return;
    mouseControl = c;
    if (old && (!capture || old == capture)) old->Perform(TMessageId::MouseLeave);
    if (mouseControl != c) return;  // a leave handler changed the tree
    if (c && (!capture || c == capture)) c->Perform(TMessageId::MouseEnter);
  }

  void UpdateCursor() {
    if (capture || !mouseControl || !window) return;
    TControl* c = mouseControl;
    TWinControl* w = dynamic_cast<TWinControl*>(c);
    if (!w) w = c->Parent();
    if (!w) return;
    const TPoint origin = w->ClientToWindow({0, 0});
    TMessage m;
    m.Id = TMessageId::SetCursor;
    m.X = lastPos.X - origin.X;
    m.Y = lastPos.Y - origin.Y;
    w->WndProc(m);
    if (m.Result != 0 || !window) return;
    TCursor cursor = crDefault;
    for (const TControl* x = c; x; x = x->Parent())
      if (x->Cursor() != crDefault) {
        cursor = x->Cursor();
        break;
      }
    if (cursor != shownCursor) {
      shownCursor = cursor;
      window->SetCursor(cursor);
    }
  }

  void Key(const TWindowEvent& e) {
    using K = TWindowEvent::TKind;
    if (!owner.Enabled()) return;
    TWinControl* target = focused ? focused : &owner;
    TMessage m;
    m.Key = e.Key;
    m.Shift = e.Shift;
    if (e.Kind == K::KeyDown) {
      const bool tab = e.Key == VK_TAB && (e.Shift & (ssCtrl | ssAlt)) == 0;
      if (tab) {
        TMessage dc;
        dc.Id = TMessageId::GetDialogCode;
        target->WndProc(dc);
        if ((dc.Result & (dcWantTab | dcWantAllKeys)) == 0) return owner.SelectNext(focused, (e.Shift & ssShift) == 0);
      }
      m.Id = TMessageId::KeyDown;
      target->WndProc(m);
      // A control that wanted Tab but left it unhandled passes it on.
      if (tab && m.Result == 0 && m.Key == VK_TAB) owner.SelectNext(focused, (e.Shift & ssShift) == 0);
    } else if (e.Kind == K::KeyUp) {
      m.Id = TMessageId::KeyUp;
      target->WndProc(m);
    } else {
      if (e.Shift & ssAlt) {
        TMessage dc;
        dc.Id = TMessageId::DialogChar;
        dc.Key = e.Key;
        dc.Shift = e.Shift;
        if (BroadcastDialogChar(owner, dc)) return;
      }
      m.Id = TMessageId::Char;
      target->WndProc(m);
    }
  }

  static bool BroadcastDialogChar(TWinControl& w, TMessage& m) {
    for (int i = 0; i < w.ControlCount(); ++i) {
      TControl* c = w.Controls(i);
      c->WndProc(m);
      if (m.Result != 0) return true;
      if (auto* child = dynamic_cast<TWinControl*>(c); child && BroadcastDialogChar(*child, m)) return true;
    }
    return false;
  }

  void SetCapture(TControl* c) {
    if (capture == c) return;
    capture = c;
    if (window) window->SetMouseCapture(c != nullptr);
  }

  // The window goes away under a drag: the capturing control is told, so it
  // can end the drag (show the pointer again) instead of waiting for a
  // release that will not come.
  void CancelCapture() {
    TControl* c = capture;
    if (!c) return;
    SetCapture(nullptr);
    c->Perform(TMessageId::CancelMode);
  }

  // c (and everything inside it) leaves this window.
  void Forget(const TControl* c) {
    if (capture && IsWithin(capture, c)) SetCapture(nullptr);
    if (mouseControl && IsWithin(mouseControl, c)) mouseControl = nullptr;
    if (pressed && IsWithin(pressed, c)) pressed = nullptr;
    if (focused && IsWithin(focused, c)) focused = nullptr;
  }
};

}  // namespace detail

// ---------------------------------------------------------------------------

const ClassInfo& TControlFont::StaticClassInfo() {
  static const IdentMap charsets{{{"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"SYMBOL_CHARSET", 2}}};
  static const ClassInfo& info =
      ClassBuilder<TControlFont, TPersistent>("TFont")
          .Integer("Charset", [](TControlFont& f) { return f.Charset(); },
                   [](TControlFont& f, std::int32_t v) { f.SetCharset(v); })
          .Idents(charsets)
          .Default(1)
          .Integer("Color", [](TControlFont& f) { return f.Color(); }, [](TControlFont& f, std::int32_t v) { f.SetColor(v); })
          .Idents(ColorIdents())
          .Integer("Height", [](TControlFont& f) { return f.Height(); },
                   [](TControlFont& f, std::int32_t v) { f.SetHeight(v); })
          .String("Name", [](TControlFont& f) { return f.Name(); }, [](TControlFont& f, const std::string& v) { f.SetName(v); })
          .Integer("Size", [](TControlFont& f) { return f.Size(); }, [](TControlFont& f, std::int32_t v) { f.SetSize(v); })
          .Stored([](TControlFont&) { return false; })
          .Set("Style", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}, [](TControlFont& f) { return f.Style(); },
               [](TControlFont& f, std::uint32_t v) { f.SetStyle(v); })
          .Default(SetNames{})
          .Build();
  return info;
}

void TControlFont::Changed() {
  if (OnChange) OnChange();
}

void TControlFont::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TControlFont::SetHeight(std::int32_t height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

std::int32_t TControlFont::Size() const {
  // Height counts pixels at 96 dpi; points are 1/72 inch.
  const long h = std::lround(std::abs(height_) * 72.0 / 96.0);
  return static_cast<std::int32_t>(std::max(1L, h));
}

void TControlFont::SetSize(std::int32_t points) {
  SetHeight(-static_cast<std::int32_t>(std::lround(std::abs(points) * 96.0 / 72.0)));
}

void TControlFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TControlFont::SetStyle(std::uint32_t style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TControlFont::SetCharset(std::int32_t charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

TFont TControlFont::Value() const {
  TFont f;
  f.Name = name_;
  f.Size = Size();
  f.Color = static_cast<TColor>(ColorToRGB(color_));
  const bool bold = (style_ & fsBold) != 0, italic = (style_ & fsItalic) != 0;
  f.Style = bold && italic ? TFontStyle::BoldItalic
            : bold         ? TFontStyle::Bold
            : italic       ? TFontStyle::Italic
                           : TFontStyle::Normal;
  return f;
}

void TControlFont::Assign(const TPersistent& source) {
  if (const auto* f = dynamic_cast<const TControlFont*>(&source)) {
    name_ = f->name_;
    height_ = f->height_;
    color_ = f->color_;
    style_ = f->style_;
    charset_ = f->charset_;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

// ---------------------------------------------------------------------------

const ClassInfo& TControl::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TControl, TComponent>("TControl")
          .Integer("Left", [](TControl& c) { return c.Left(); }, [](TControl& c, std::int32_t v) { c.SetLeft(v); })
          .Integer("Top", [](TControl& c) { return c.Top(); }, [](TControl& c, std::int32_t v) { c.SetTop(v); })
          .Integer("Width", [](TControl& c) { return c.Width(); }, [](TControl& c, std::int32_t v) { c.SetWidth(v); })
          .Integer("Height", [](TControl& c) { return c.Height(); }, [](TControl& c, std::int32_t v) { c.SetHeight(v); })
          .Set("Anchors", {"akLeft", "akTop", "akRight", "akBottom"}, [](TControl& c) { return c.Anchors(); },
               [](TControl& c, std::uint32_t v) { c.SetAnchors(v); })
          .Default(SetNames{"akLeft", "akTop"})
          .Integer("Color", [](TControl& c) { return c.Color(); }, [](TControl& c, std::int32_t v) { c.SetColor(v); })
          .Idents(ColorIdents())
          .Default(clWindow)
          .Integer("Cursor", [](TControl& c) { return c.Cursor(); },
                   [](TControl& c, std::int32_t v) { c.SetCursor(static_cast<TCursor>(v)); })
          .Idents(CursorIdents())
          .Default(crDefault)
          .Boolean("Enabled", [](TControl& c) { return c.Enabled(); }, [](TControl& c, bool v) { c.SetEnabled(v); })
          .Default(true)
          .String("Hint", [](TControl& c) { return c.Hint(); }, [](TControl& c, const std::string& v) { c.SetHint(v); })
          .Default("")
          .Boolean("Visible", [](TControl& c) { return c.Visible(); }, [](TControl& c, bool v) { c.SetVisible(v); })
          .Default(true)
          .Event("OnClick", [](TControl& c) -> auto& { return c.OnClick; })
          .Event("OnDblClick", [](TControl& c) -> auto& { return c.OnDblClick; })
          .Event("OnMouseDown", [](TControl& c) -> auto& { return c.OnMouseDown; })
          .Event("OnMouseEnter", [](TControl& c) -> auto& { return c.OnMouseEnter; })
          .Event("OnMouseLeave", [](TControl& c) -> auto& { return c.OnMouseLeave; })
          .Event("OnMouseMove", [](TControl& c) -> auto& { return c.OnMouseMove; })
          .Event("OnMouseUp", [](TControl& c) -> auto& { return c.OnMouseUp; })
          .Build();
  return info;
}

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this] { FontChanged(); };
}

TControl::~TControl() {
  font_.OnChange = nullptr;
  if (parent_) parent_->RemoveControl(this);
}

void TControl::FontChanged() { Invalidate(); }

void TControl::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  // Far beyond any screen, yet small enough that edges, offsets and nested
  // origins never leave the 32-bit range.
  constexpr std::int32_t kLimit = 1 << 24;
  left = std::clamp(left, -kLimit, kLimit);
  top = std::clamp(top, -kLimit, kLimit);
  width = std::clamp(width, 0, kLimit);
  height = std::clamp(height, 0, kLimit);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  if (parent_ && visible_) parent_->InvalidateRect(BoundsRect());
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (parent_ && visible_) parent_->InvalidateRect(BoundsRect());
}

TPoint TControl::ClientToWindow(TPoint p) const {
  for (const TControl* c = this; c->parent_; c = c->parent_) {
    p.X += c->left_;
    p.Y += c->top_;
  }
  return p;
}

TPoint TControl::ClientToScreen(TPoint p) const {
  p = ClientToWindow(p);
  const TWinControl* top = TopWindow();
  TPoint origin{top ? top->Left() : 0, top ? top->Top() : 0};
  if (top && top->BackendWindow()) origin = top->BackendWindow()->ClientOrigin();
  return {p.X + origin.X, p.Y + origin.Y};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  const TPoint zero = ClientToScreen({0, 0});
  return {p.X - zero.X, p.Y - zero.Y};
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  if (!visible) Invalidate();
  visible_ = visible;
  if (visible) Invalidate();
  Perform(TMessageId::VisibleChanged);
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Invalidate();
  Perform(TMessageId::EnabledChanged);
}

void TControl::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  if (TWinControl* top = TopWindow())
    if (detail::TWindowRoot* root = top->RootIfAny(); root && root->mouseControl && IsWithin(root->mouseControl, this))
      root->UpdateCursor();
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Invalidate();
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (const TControl* a = parent; a; a = a->parent_)
    if (a == this) throw EInvalidOperation("A control cannot have itself or a control inside it as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (parent) parent->InsertControl(this);
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* parent) {
  if (parent == nullptr) return SetParent(nullptr);
  auto* w = dynamic_cast<TWinControl*>(parent);
  if (!w) throw EInvalidOperation("Control " + Name() + " cannot be placed inside " + parent->ClassName());
  SetParent(w);
}

TWinControl* TControl::TopWindow() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TWinControl*>(const_cast<TControl*>(c));
}

void TControl::BringToFront() {
  if (!parent_) return;
  auto& list = parent_->controls_;
  list.erase(std::find(list.begin(), list.end(), this));
  list.push_back(this);
  Invalidate();
}

void TControl::SendToBack() {
  if (!parent_) return;
  auto& list = parent_->controls_;
  list.erase(std::find(list.begin(), list.end(), this));
  list.insert(list.begin(), this);
  Invalidate();
}

void TControl::Invalidate() {
  if (parent_ && visible_) parent_->InvalidateRect(BoundsRect());
}

void TControl::Update() {
  TWinControl* top = TopWindow();
  if (top && top->HandleAllocated()) PaintWindowTree(*top);
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::PaintControl(const TPaintContext&) {}

bool TControl::MouseCapture() const {
  const TWinControl* top = TopWindow();
  const detail::TWindowRoot* root = top ? top->RootIfAny() : nullptr;
  return root && root->capture == this;
}

void TControl::SetMouseCapture(bool capture) {
  TWinControl* top = TopWindow();
  if (!top) return;
  detail::TWindowRoot& root = top->Root();
  if (capture)
    root.SetCapture(this);
  else if (root.capture == this)
    root.SetCapture(nullptr);
}

std::intptr_t TControl::Perform(TMessageId id) {
  TMessage m;
  m.Id = id;
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& m) {
  switch (m.Id) {
    case TMessageId::MouseDown: {
      if (!(style_ & csDoubleClicks)) m.Shift &= ~ssDouble;
      const bool dbl = (m.Shift & ssDouble) != 0;
      if (style_ & csCaptureMouse) SetMouseCapture(true);
      if (m.Button == mbLeft) {
        clicked_ = !dbl && (style_ & csClickEvents) != 0;
        if (TWinControl* top = TopWindow(); top && clicked_) top->Root().pressed = this;
        if (dbl && (style_ & csClickEvents)) DblClick();
      }
      MouseDown(m.Button, m.Shift, m.X, m.Y);
      break;
    }
    case TMessageId::MouseMove:
      MouseMove(m.Shift, m.X, m.Y);
      break;
    case TMessageId::MouseUp:
      if ((style_ & csCaptureMouse) && (m.Shift & ssButtons) == 0 && MouseCapture()) SetMouseCapture(false);
      if (m.Button == mbLeft && clicked_) {
        clicked_ = false;
        if (Contains(ClientRect(), {m.X, m.Y})) Click();
      }
      MouseUp(m.Button, m.Shift, m.X, m.Y);
      break;
    case TMessageId::MouseEnter:
      MouseEnter();
      break;
    case TMessageId::MouseLeave:
      MouseLeave();
      break;
    case TMessageId::CancelMode:
      clicked_ = false;
      if (MouseCapture()) SetMouseCapture(false);
      break;
    default:
      break;
  }
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::Notification(TComponent* component, Operation operation) {
  TComponent::Notification(component, operation);
}

// ---------------------------------------------------------------------------

const ClassInfo& TWinControl::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TWinControl, TControl>("TWinControl")
          .Integer("TabOrder", [](TWinControl& c) { return c.TabOrder(); },
                   [](TWinControl& c, std::int32_t v) { c.SetTabOrder(v); })
          .Stored([](TWinControl& c) { return c.Parent() != nullptr; })
          .Boolean("TabStop", [](TWinControl& c) { return c.TabStop(); }, [](TWinControl& c, bool v) { c.SetTabStop(v); })
          .Default(false)
          .Event("OnEnter", [](TWinControl& c) -> auto& { return c.OnEnter; })
          .Event("OnExit", [](TWinControl& c) -> auto& { return c.OnExit; })
          .Event("OnKeyDown", [](TWinControl& c) -> auto& { return c.OnKeyDown; })
          .Event("OnKeyPress", [](TWinControl& c) -> auto& { return c.OnKeyPress; })
          .Event("OnKeyUp", [](TWinControl& c) -> auto& { return c.OnKeyUp; })
          .Build();
  return info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) { windowed_ = true; }

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
  root.backend = WindowBackendPtr();
  root.window = root.backend->CreateWindow(parentWindow_, BoundsRect(), root);
  detail::RegisterRoot(this);
  if (Visible()) root.window->Show();
  root.Expose(ClientRect(), *this);
}

void TWinControl::DestroyHandle() {
  if (detail::TWindowRoot* root = RootIfAny(); root && TopWindow() == this) root->DestroyWindow();
}

void TWinControl::SetParentWindow(TWindowHandle parent) {
  if (Parent()) throw EInvalidOperation("Only a top-level window can have a parent window");
  if (parent != parentWindow_) {
    DestroyHandle();
    parentWindow_ = parent;
  }
  HandleNeeded();
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

void TWinControl::Invalidate() { InvalidateRect(ClientRect()); }

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
  for (const TWinControl* a = Parent(); a; a = a->Parent()) r = Intersect(r, Offset(a->ClientRect(), a->ClientToWindow({0, 0})));
  return r;
}

void TWinControl::Present(const std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& rect) {
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

void TWinControl::PaintControls(std::uint8_t* bits, std::int32_t width, std::int32_t height, const TRect& rect) {
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
          root_->CancelCapture();
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

// ---------------------------------------------------------------------------

const ClassInfo& TCustomControl::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TCustomControl, TWinControl>("TCustomControl").Build();
  return info;
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}

const ClassInfo& TCustomForm::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TCustomForm, TCustomControl>("TCustomForm")
          // A form stores its client size instead of its outer size.
          .Integer("Width", [](TCustomForm& f) { return f.Width(); }, [](TCustomForm& f, std::int32_t v) { f.SetWidth(v); })
          .Stored([](TCustomForm&) { return false; })
          .Integer("Height", [](TCustomForm& f) { return f.Height(); },
                   [](TCustomForm& f, std::int32_t v) { f.SetHeight(v); })
          .Stored([](TCustomForm&) { return false; })
          .Integer("Color", [](TCustomForm& f) { return f.Color(); }, [](TCustomForm& f, std::int32_t v) { f.SetColor(v); })
          .Idents(ColorIdents())
          .Default(clBtnFace)
          .Boolean("Visible", [](TCustomForm& f) { return f.Visible(); }, [](TCustomForm& f, bool v) { f.SetVisible(v); })
          .Default(false)
          .Set("BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
               [](TCustomForm& f) { return f.BorderIcons(); }, [](TCustomForm& f, std::uint32_t v) { f.SetBorderIcons(v); })
          .Default(SetNames{"biSystemMenu", "biMinimize", "biMaximize"})
          .Enum("BorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
                [](TCustomForm& f) { return static_cast<int>(f.BorderStyle()); },
                [](TCustomForm& f, int v) { f.SetBorderStyle(static_cast<TFormBorderStyle>(v)); })
          .Default(Ident{"bsSizeable"})
          .String("Caption", [](TCustomForm& f) { return f.Caption(); },
                  [](TCustomForm& f, const std::string& v) { f.SetCaption(v); })
          .Default("")
          .Integer("ClientHeight", [](TCustomForm& f) { return f.ClientHeight(); },
                   [](TCustomForm& f, std::int32_t v) { f.SetClientHeight(v); })
          .Integer("ClientWidth", [](TCustomForm& f) { return f.ClientWidth(); },
                   [](TCustomForm& f, std::int32_t v) { f.SetClientWidth(v); })
          .Object("Font", [](TCustomForm& f) { return &f.Font(); })
          .Boolean("KeyPreview", [](TCustomForm& f) { return f.KeyPreview(); },
                   [](TCustomForm& f, bool v) { f.SetKeyPreview(v); })
          .Default(false)
          .Integer("PixelsPerInch", [](TCustomForm& f) { return f.PixelsPerInch(); },
                   [](TCustomForm& f, std::int32_t v) { f.SetPixelsPerInch(v); })
          .Default(96)
          .Boolean("Scaled", [](TCustomForm& f) { return f.Scaled(); }, [](TCustomForm& f, bool v) { f.SetScaled(v); })
          .Default(true)
          .Event("OnCreate", [](TCustomForm& f) -> auto& { return f.OnCreate; })
          .Build();
  return info;
}

TCustomForm::TCustomForm(TComponent* owner) : TCustomControl(owner) {
  SetVisible(false);
  SetColor(clBtnFace);
}

TCustomForm::~TCustomForm() {
  // The owned components go while the form is still a form, so that their
  // notifications and parent look-ups see it whole.
  DestroyComponents();
}

bool TCustomForm::PreviewKey(TMessage& m) {
  if (!keyPreview_) return false;
  if (m.Id == TMessageId::Char) {
    char ch = static_cast<char>(m.Key);
    KeyPress(ch);
    m.Key = static_cast<std::uint8_t>(ch);
  } else if (m.Id == TMessageId::KeyDown || m.Id == TMessageId::KeyUp) {
    std::uint16_t key = m.Key;
    if (m.Id == TMessageId::KeyDown)
      KeyDown(key, m.Shift);
    else
      KeyUp(key, m.Shift);
    m.Key = key;
  } else {
    return false;
  }
  return m.Key == 0;
}

void TCustomForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

const ClassInfo& TForm::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TForm, TCustomForm>("TForm").Build();
  return info;
}

TCustomForm* GetParentForm(const TControl* control) {
  if (!control) return nullptr;
  return dynamic_cast<TCustomForm*>(control->TopWindow());
}

void RegisterWindowClasses() {
  RegisterClasses<TControl, TWinControl, TCustomControl, TForm, TLabel, TTimer>();
}

}  // namespace framework
