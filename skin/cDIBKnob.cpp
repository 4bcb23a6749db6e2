#include "skin/cDIBKnob.h"

#include <limits>

#include "framework/window/WindowSystem.h"

namespace skin {

namespace {

TKnobInc Inc(const char* name, std::int32_t v) {
  if (v < 0 || v > 65535)
    throw framework::EPropertyError(std::string(name) + " must lie in 0..65535, not " + std::to_string(v));
  return static_cast<TKnobInc>(v);
}

// Position + d * step without leaving the 32-bit range; SetPosition clamps.
std::int32_t Offset(std::int32_t position, std::int64_t d, std::int64_t step) {
  const std::int64_t v = position + d * step;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

const framework::ClassInfo& TCustomDIBKnob::StaticClassInfo() {
  using K = TCustomDIBKnob;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<K, TCustomDIBControl>("TCustomDIBKnob")
          .Boolean(
              "AutoSize", [](K& k) { return k.AutoSize(); }, [](K& k, bool v) { k.SetAutoSize(v); })
          .Default(true)
          .Boolean(
              "DrawTweens", [](K& k) { return k.DrawTweens(); }, [](K& k, bool v) { k.SetDrawTweens(v); })
          .Default(false)
          .Object("IndexMain", [](K& k) -> framework::TPersistent* { return &k.IndexMain(); })
          .Boolean(
              "LoopLastFrame", [](K& k) { return k.LoopLastFrame(); },
              [](K& k, bool v) { k.SetLoopLastFrame(v); })
          .Default(false)
          // Max before Min and Position: a stored range is read without the
          // defaults getting in the way.
          .Integer(
              "Max", [](K& k) { return k.Max(); }, [](K& k, std::int32_t v) { k.SetMax(v); })
          .Default(100)
          .Integer(
              "Min", [](K& k) { return k.Min(); }, [](K& k, std::int32_t v) { k.SetMin(v); })
          .Default(0)
          .Integer(
              "NumGlyphs", [](K& k) { return k.NumGlyphs(); },
              [](K& k, std::int32_t v) { k.SetNumGlyphs(v); })
          .Default(1)
          .Enum(
              "Orientation", {"koVertical", "koHorizontal"},
              [](K& k) { return static_cast<int>(k.Orientation()); },
              [](K& k, int v) { k.SetOrientation(static_cast<TKnobOrientation>(v)); })
          .Default(framework::Value(framework::Ident{"koVertical"}))
          .Integer(
              "PageSize", [](K& k) { return k.PageSize(); },
              [](K& k, std::int32_t v) { k.SetPageSize(Inc("PageSize", v)); })
          .Default(5)
          .Integer(
              "Position", [](K& k) { return k.Position(); }, [](K& k, std::int32_t v) { k.SetPosition(v); })
          .Default(0)
          .Integer(
              "SmallChange", [](K& k) { return k.SmallChange(); },
              [](K& k, std::int32_t v) { k.SetSmallChange(Inc("SmallChange", v)); })
          .Default(1)
          .Event("OnChange", [](K& k) -> framework::TNotifyEvent& { return k.OnChange; })
          .Build();
  return info;
}

const framework::ClassInfo& TDIBKnob::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TDIBKnob, TCustomDIBKnob>("TDIBKnob").Build();
  return info;
}

TCustomDIBKnob::TCustomDIBKnob(framework::TComponent* owner) : TCustomDIBControl(owner) {
  indexMain_ = &AddImageLink();
  for (const char* name : {"AutoSize", "DrawTweens", "LoopLastFrame", "Min", "Max", "NumGlyphs", "Opacity",
                           "Orientation", "PageSize", "Position", "SmallChange"})
    RegisterTemplateProperty(name);
}

void TCustomDIBKnob::SetPosition(std::int32_t value) {
  const std::int32_t v = std::clamp(value, min_, max_);
  if (v != position_) {
    position_ = v;
    if (OnChange) OnChange(this);
  }
  Invalidate();
}

void TCustomDIBKnob::SetMax(std::int32_t value) {
  max_ = value;
  if (min_ >= value) SetMin(value == std::numeric_limits<std::int32_t>::min() ? value : value - 1);
  if (min_ >= max_) max_ = min_ + 1;  // only at the very bottom of the range
  if (position_ > max_) SetPosition(max_);
  Invalidate();
}

void TCustomDIBKnob::SetMin(std::int32_t value) {
  min_ = value;
  if (value >= max_) SetMax(value == std::numeric_limits<std::int32_t>::max() ? value : value + 1);
  if (min_ >= max_) min_ = max_ - 1;  // only at the very top of the range
  if (position_ < min_) SetPosition(min_);
  Invalidate();
}

void TCustomDIBKnob::SetNumGlyphs(std::int32_t value) {
  if (value <= 0) throw EDIBKnobError("NumGlyphs must be greater than 0.");
  numGlyphs_ = value;
  ApplyAutoSize();
  Invalidate();
}

void TCustomDIBKnob::SetDrawTweens(bool value) {
  drawTweens_ = value;
  Invalidate();
}

void TCustomDIBKnob::SetLoopLastFrame(bool value) {
  loopLastFrame_ = value;
  Invalidate();
}

void TCustomDIBKnob::SetAutoSize(bool value) {
  autoSize_ = value;
  ApplyAutoSize();
  Invalidate();
}

bool TCustomDIBKnob::AutoSizeQuery(std::int32_t& width, std::int32_t& height) {
  image::TAbstractSuperDIB* img = nullptr;
  if (!indexMain_->GetImage(img)) return false;
  width = img->Width() / numGlyphs_;
  height = img->Height();
  return true;
}

void TCustomDIBKnob::ApplyAutoSize() {
  if (!autoSize_ || IsLoading()) return;
  std::int32_t w = 0, h = 0;
  if (AutoSizeQuery(w, h)) SetBounds(Left(), Top(), w, h);
}

void TCustomDIBKnob::ImageChanged(int, int) {
  ApplyAutoSize();
  Invalidate();
}

void TCustomDIBKnob::Loaded() {
  TCustomDIBControl::Loaded();
  ApplyAutoSize();
}

std::int32_t TCustomDIBKnob::FrameIndex() const {
  // 64-bit intermediate: the product leaves 32 bits for wide ranges; the
  // quotient always lies in 0..NumGlyphs-1.
  const std::int64_t range = static_cast<std::int64_t>(max_) - min_ + 1;
  return static_cast<std::int32_t>((static_cast<std::int64_t>(position_) - min_) * numGlyphs_ / range);
}

void TCustomDIBKnob::Paint() {
  TCustomDIBControl::Paint();
  image::TAbstractSuperDIB* img = nullptr;
  if (!indexMain_->GetImage(img) || !DrawingBuffer()) return;
  if (drawTweens_)
    img->DrawBlendedGlyph(0, 0, numGlyphs_, *DrawingBuffer(), min_, max_, position_, loopLastFrame_);
  else
    img->DrawGlyph(0, 0, FrameIndex(), numGlyphs_, *DrawingBuffer());
}

// --- dragging -----------------------------------------------------------------

void TCustomDIBKnob::MouseDown(framework::TMouseButton button, framework::TShiftState shift, int x, int y) {
  TCustomDIBControl::MouseDown(button, shift, x, y);
  if (button == framework::mbLeft) BeginDrag();
}

void TCustomDIBKnob::BeginDrag() {
  dragging_ = true;
  // The pointer is held where the press was and hidden while the knob turns.
  if (framework::TWindowSystem* system = WindowSystem()) {
    pressPos_ = system->CursorPos();
    system->ShowCursor(false);
  }
  if (OnDragBegin) OnDragBegin(this);
}

void TCustomDIBKnob::MouseMove(framework::TShiftState shift, int x, int y) {
  TCustomDIBControl::MouseMove(shift, x, y);
  if (!dragging_) return;
  framework::TWindowSystem* system = WindowSystem();
  if (!system) return;
  const framework::TPoint now = system->CursorPos();
  const std::int64_t d =
      orientation_ == koHorizontal ? std::int64_t{now.X} - pressPos_.X : std::int64_t{pressPos_.Y} - now.Y;
  if (d == 0) return;
  SetPosition(Offset(position_, d, smallChange_));
  system->SetCursorPos(pressPos_);
}

void TCustomDIBKnob::MouseUp(framework::TMouseButton button, framework::TShiftState shift, int x, int y) {
  TCustomDIBControl::MouseUp(button, shift, x, y);
  if (button == framework::mbLeft && dragging_) EndDrag();
}

void TCustomDIBKnob::EndDrag() {
  dragging_ = false;
  if (framework::TWindowSystem* system = WindowSystem()) {
    system->SetCursorPos(pressPos_);
    system->ShowCursor(true);
  }
  if (OnDragEnd) OnDragEnd(this);
}

void TCustomDIBKnob::WndProc(framework::TMessage& message) {
  TCustomDIBControl::WndProc(message);
  // No release will come: the drag ends now, and the pointer shows again.
  if (message.Id == framework::TMessageId::CancelMode && dragging_) EndDrag();
}

void TCustomDIBKnob::KeyDown(std::uint16_t& key, framework::TShiftState shift) {
  TCustomDIBControl::KeyDown(key, shift);
  switch (key) {
    case framework::VK_PRIOR:
      SetPosition(Offset(position_, 1, pageSize_));
      break;
    case framework::VK_NEXT:
      SetPosition(Offset(position_, -1, pageSize_));
      break;
    case framework::VK_UP:
    case framework::VK_RIGHT:
      SetPosition(Offset(position_, 1, smallChange_));
      break;
    case framework::VK_DOWN:
    case framework::VK_LEFT:
      SetPosition(Offset(position_, -1, smallChange_));
      break;
    default:
      break;
  }
}

}  // namespace skin
