#include "skin/cDIBFeatures.h"

#include <algorithm>
#include <mutex>

#include "framework/core/FormStream.h"
#include "framework/core/Stream.h"
#include "framework/window/Controls.h"
#include "skin/cDIBControl.h"

namespace skin {

using framework::TMessage;
using framework::TMessageId;

namespace {

std::vector<const framework::ClassInfo*>& Registry() {
  static std::vector<const framework::ClassInfo*> list{
      &TMoveableDIB::StaticClassInfo(), &THighlightDIB::StaticClassInfo(), &TShapeableDIB::StaticClassInfo()};
  return list;
}

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}

void NotBelow(const char* name, std::int32_t v, std::int32_t lo) {
  if (v < lo)
    throw framework::EPropertyError(std::string(name) + " cannot be below " + std::to_string(lo) + ": " +
                                    std::to_string(v));
}

std::uint8_t Byte(const char* name, std::int32_t v) {
  if (v < 0 || v > 255)
    throw framework::EPropertyError(std::string(name) + " must lie in 0..255, not " + std::to_string(v));
  return static_cast<std::uint8_t>(v);
}

}  // namespace

void RegisterDIBFeature(const framework::ClassInfo& info) {
  std::lock_guard lock(RegistryMutex());
  auto& list = Registry();
  if (std::find(list.begin(), list.end(), &info) == list.end()) list.push_back(&info);
}

const framework::ClassInfo* FindDIBFeature(const std::string& name) {
  std::lock_guard lock(RegistryMutex());
  for (const framework::ClassInfo* info : Registry())
    if (framework::SameText(info->name, name)) return info;
  return nullptr;
}

// --- class descriptions -------------------------------------------------------

const framework::ClassInfo& TDIBFeature::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TDIBFeature, framework::TComponent>("TDIBFeature").Build();
  return info;
}

const framework::ClassInfo& TMoveableDIB::StaticClassInfo() {
  using F = TMoveableDIB;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<F, TDIBFeature>("TMoveableDIB")
          .Boolean(
              "AllowHorizontal", [](F& f) { return f.AllowHorizontal; },
              [](F& f, bool v) { f.AllowHorizontal = v; })
          .Default(true)
          .Boolean(
              "AllowVertical", [](F& f) { return f.AllowVertical; },
              [](F& f, bool v) { f.AllowVertical = v; })
          .Default(true)
          .Integer(
              "BorderSize", [](F& f) { return f.BorderSize; },
              [](F& f, std::int32_t v) {
                NotBelow("BorderSize", v, 0);
                f.BorderSize = v;
              })
          .Default(0)
          .Set(
              "MouseButtons", {"mbLeft", "mbRight", "mbMiddle"}, [](F& f) { return f.MouseButtons; },
              [](F& f, std::uint32_t v) { f.MouseButtons = v; })
          .Default(framework::SetNames{"mbLeft"})
          .Integer(
              "SnapSize", [](F& f) { return f.SnapSize; },
              [](F& f, std::int32_t v) {
                NotBelow("SnapSize", v, 1);
                f.SnapSize = v;
              })
          .Default(1)
          .Build();
  return info;
}

const framework::ClassInfo& THighlightDIB::StaticClassInfo() {
  using F = THighlightDIB;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<F, TDIBFeature>("THighlightDIB")
          .Integer(
              "HighlightOpacity", [](F& f) { return f.HighlightOpacity; },
              [](F& f, std::int32_t v) { f.HighlightOpacity = Byte("HighlightOpacity", v); })
          .Default(255)
          .Build();
  return info;
}

const framework::ClassInfo& TShapeableDIB::StaticClassInfo() {
  using F = TShapeableDIB;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<F, TDIBFeature>("TShapeableDIB")
          .Integer(
              "MaskLevel", [](F& f) { return f.MaskLevel; },
              [](F& f, std::int32_t v) { f.MaskLevel = Byte("MaskLevel", v); })
          .Default(0)
          .Integer(
              "TransparentColor", [](F& f) { return f.TransparentColor; },
              [](F& f, std::int32_t v) { f.TransparentColor = v; })
          .Idents(framework::ColorIdents())
          .Default(0)
          .Enum(
              "TransparentMode", {"tmAuto", "tmFixed"},
              [](F& f) { return static_cast<int>(f.TransparentMode); },
              [](F& f, int v) { f.TransparentMode = static_cast<image::TTransparentMode>(v); })
          .Default(framework::Value(framework::Ident{"tmAuto"}))
          .Build();
  return info;
}

const framework::ClassInfo& TDIBFeatureItem::StaticClassInfo() {
  using I = TDIBFeatureItem;
  static const framework::ClassInfo& info =
      framework::ClassBuilder<I, framework::TCollectionItem>("TDIBFeatureItem")
          .Boolean(
              "Enabled", [](I& i) { return i.Enabled(); }, [](I& i, bool v) { i.SetEnabled(v); })
          .Default(true)
          .String(
              "FeatureClassName", [](I& i) { return i.FeatureClassName(); },
              [](I& i, const std::string& v) { i.SetFeatureClassName(v); })
          .Default("")
          .Binary(
              "DIBFeatureParameters", [](I& i, framework::TStream& s) { i.ReadParameters(s); },
              [](I& i, framework::TStream& s) { i.WriteParameters(s); })
          .Stored([](I& i) { return i.Feature() != nullptr; })
          .Build();
  return info;
}

// --- features -----------------------------------------------------------------

TDIBFeature::TDIBFeature(framework::TComponent* owner) : framework::TComponent(owner) {}

TCustomDIBControl* TDIBFeature::DIBControl() const {
  return dynamic_cast<TCustomDIBControl*>(control_);
}

bool TMoveableDIB::HandleMessage(TMessage& m) {
  framework::TControl* c = Control();
  if (!c) return false;
  const std::int32_t snap = std::max(SnapSize, 1);
  switch (m.Id) {
    case TMessageId::KeyDown: {
      std::int32_t dx = 0, dy = 0;
      if (AllowHorizontal && m.Key == framework::VK_LEFT) dx = -snap;
      if (AllowHorizontal && m.Key == framework::VK_RIGHT) dx = snap;
      if (AllowVertical && m.Key == framework::VK_UP) dy = -snap;
      if (AllowVertical && m.Key == framework::VK_DOWN) dy = snap;
      if (dx == 0 && dy == 0) return false;
      c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
      return true;
    }
    case TMessageId::MouseDown: {
      if (moving_ || !(MouseButtons & (1u << m.Button))) return false;
      const bool nearEdge =
          BorderSize > 0 && (m.X < BorderSize || m.Y < BorderSize || m.X >= c->Width() - BorderSize ||
                             m.Y >= c->Height() - BorderSize);
      if (nearEdge) return false;
      moving_ = true;
      button_ = m.Button;
      press_ = {m.X + c->Left(), m.Y + c->Top()};
      origin_ = {c->Left(), c->Top()};
      return false;
    }
    case TMessageId::MouseMove: {
      if (!moving_) return false;
      std::int32_t dx = m.X + c->Left() - press_.X, dy = m.Y + c->Top() - press_.Y;
      if (snap > 1) {
        dx = dx / snap * snap;  // cut towards zero
        dy = dy / snap * snap;
      }
      c->SetBounds(AllowHorizontal ? origin_.X + dx : c->Left(), AllowVertical ? origin_.Y + dy : c->Top(),
                   c->Width(), c->Height());
      return false;
    }
    case TMessageId::MouseUp:
      if (moving_ && m.Button == button_) moving_ = false;
      return false;
    default:
      return false;
  }
}

bool THighlightDIB::AcceptsControl(const framework::TControl* control) const {
  return dynamic_cast<const TCustomDIBControl*>(control) != nullptr;
}

void THighlightDIB::Highlight() {
  TCustomDIBControl* c = DIBControl();
  if (!highlighted_) {
    saved_ = c->Opacity();
    highlighted_ = true;
  }
  c->SetOpacity(HighlightOpacity);
}

void THighlightDIB::Restore() {
  if (!highlighted_) return;
  highlighted_ = false;
  DIBControl()->SetOpacity(saved_);
}

bool THighlightDIB::HandleMessage(TMessage& m) {
  TCustomDIBControl* c = DIBControl();
  if (!c) return false;
  switch (m.Id) {
    case TMessageId::SetFocus:
      if (!c->DIBFocused() && !c->MouseInControl() && c->Enabled()) Highlight();
      break;
    case TMessageId::KillFocus:
      if (c->DIBFocused() && !c->MouseInControl()) Restore();
      break;
    case TMessageId::MouseEnter:
      if (!c->DIBFocused() && !c->MouseCapture()) Highlight();
      break;
    case TMessageId::MouseLeave:
      if (!c->DIBFocused() && !c->MouseCapture()) Restore();
      break;
    case TMessageId::MouseUp:
      if (m.Button == framework::mbLeft) {
        c->SetMouseCapture(false);
        // A drag that ended outside: the leave came while captured.
        if (!c->MouseInControl() && !c->DIBFocused()) Restore();
      }
      break;
    default:
      break;
  }
  return false;
}

bool TShapeableDIB::AcceptsControl(const framework::TControl* control) const {
  return dynamic_cast<const TCustomDIBControl*>(control) != nullptr;
}

void TShapeableDIB::Rebuild(TCustomDIBControl& control) {
  ++rebuilds_;
  cachedSerial_ = control.InvalidateSerial();
  cached_ = true;
  region_.reset();
  // A control too large to paint in one piece gets no shape: every point hits.
  if (std::int64_t{control.Width()} * control.Height() > (std::int64_t{1} << 24) || control.Width() > 65535 ||
      control.Height() > 65535)
    return;
  image::TMemoryDIB buffer(static_cast<std::uint16_t>(std::clamp(control.Width(), 0, 65535)),
                           static_cast<std::uint16_t>(std::clamp(control.Height(), 0, 65535)));
  buffer.Fill(0);
  control.PaintInto(buffer);
  if (MaskLevel > 0) {
    region_ = buffer.AlphaRegion(MaskLevel);
  } else {
    const framework::TColor key = TransparentMode == image::tmFixed
                                      ? TransparentColor
                                      : image::PixelToColor(buffer.PixelAt(0, buffer.Height() - 1));
    region_ = buffer.ColorRegion(key);
  }
}

int TShapeableDIB::HitTest(std::int32_t x, std::int32_t y) {
  TCustomDIBControl* c = DIBControl();
  if (!c) return -1;
  // The cache is keyed by the control's invalidation count; a first use
  // always builds, whatever the count happens to be.
  if (!cached_ || cachedSerial_ != c->InvalidateSerial()) Rebuild(*c);
  return !region_ || region_->Contains(x, y) ? 1 : 0;
}

// --- items --------------------------------------------------------------------

TDIBFeatureItem::TDIBFeatureItem(framework::TCollection* collection)
    : framework::TCollectionItem(collection) {}

TDIBFeatureItem::~TDIBFeatureItem() = default;

framework::TControl* TDIBFeatureItem::OwnerControl() const {
  auto* features = dynamic_cast<TDIBFeatures*>(Collection());
  return features ? features->OwnerControl() : nullptr;
}

void TDIBFeatureItem::SetFeatureClassName(const std::string& name) {
  if (name.empty()) {
    feature_.reset();
    className_.clear();
    return;
  }
  const framework::ClassInfo* info = FindDIBFeature(name);
  if (!info || !info->createComponent) throw EDIBFeatureError(name + " has not been registered");
  std::unique_ptr<framework::TComponent> made(info->createComponent(nullptr));
  auto* feature = dynamic_cast<TDIBFeature*>(made.get());
  if (!feature) throw EDIBFeatureError(name + " has not been registered");
  made.release();
  feature_.reset(feature);
  feature_->SetControl(OwnerControl());
  className_ = info->name;
  Changed(false);
}

std::string TDIBFeatureItem::DisplayName() const {
  return feature_ ? feature_->Description() : std::string("DIB feature");
}

void TDIBFeatureItem::ReadParameters(framework::TStream& s) {
  pending_.resize(static_cast<std::size_t>(s.Size() - s.Position()));
  s.ReadBuffer(pending_.data(), pending_.size());
}

void TDIBFeatureItem::WriteParameters(framework::TStream& s) const {
  if (!feature_) return;
  s.WriteU8(static_cast<std::uint8_t>(className_.size()));
  s.WriteBuffer(className_.data(), className_.size());
  framework::FormWriter(s).WriteProperties(*feature_);
}

void TDIBFeatureItem::Loaded(framework::TComponent& root) {
  if (pending_.empty()) return;
  const std::vector<std::uint8_t> bytes = std::move(pending_);
  pending_.clear();
  framework::TReadOnlyMemoryStream s(bytes);
  std::string name(s.ReadU8(), '\0');
  s.ReadBuffer(name.data(), name.size());
  SetFeatureClassName(name);
  if (feature_) framework::FormReader(s).ReadProperties(*feature_, root);
}

TDIBFeatures::TDIBFeatures(framework::TControl* owner)
    : framework::TCollection(TDIBFeatureItem::StaticClassInfo(), owner), owner_(owner) {}

bool TDIBFeatures::Dispatch(TMessage& m) {
  for (int i = 0; i < Count(); ++i) {
    TDIBFeatureItem* item = Items(i);
    if (item->Enabled() && item->Feature() && item->Feature()->HandleMessage(m)) return true;
  }
  return false;
}

int TDIBFeatures::HitTest(std::int32_t x, std::int32_t y) {
  for (int i = 0; i < Count(); ++i) {
    TDIBFeatureItem* item = Items(i);
    if (!item->Enabled() || !item->Feature()) continue;
    const int answer = item->Feature()->HitTest(x, y);
    if (answer >= 0) return answer;
  }
  return -1;
}

}  // namespace skin
