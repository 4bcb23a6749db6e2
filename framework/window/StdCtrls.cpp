#include "framework/window/StdCtrls.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace framework {

const ClassInfo& TLabel::StaticClassInfo() {
  static const ClassInfo& info =
      ClassBuilder<TLabel, TControl>("TLabel")
          .Enum(
              "Alignment", {"taLeftJustify", "taRightJustify", "taCenter"},
              [](TLabel& l) { return static_cast<int>(l.Alignment()); },
              [](TLabel& l, int v) { l.SetAlignment(static_cast<TAlignment>(v)); })
          .Default(Ident{"taLeftJustify"})
          .Boolean(
              "AutoSize", [](TLabel& l) { return l.AutoSize(); }, [](TLabel& l, bool v) { l.SetAutoSize(v); })
          .Default(true)
          .String(
              "Caption", [](TLabel& l) { return l.Caption(); },
              [](TLabel& l, const std::string& v) { l.SetCaption(v); })
          .Default("")
          .Integer(
              "Color", [](TLabel& l) { return l.Color(); }, [](TLabel& l, std::int32_t v) { l.SetColor(v); })
          .Idents(ColorIdents())
          .Default(clBtnFace)
          .Object("Font", [](TLabel& l) { return &l.Font(); })
          .Boolean(
              "ParentFont", [](TLabel& l) { return l.ParentFont(); },
              [](TLabel& l, bool v) { l.SetParentFont(v); })
          .Default(true)
          .Boolean(
              "Transparent", [](TLabel& l) { return l.Transparent(); },
              [](TLabel& l, bool v) { l.SetTransparent(v); })
          .Default(false)
          .Build();
  return info;
}

TLabel::TLabel(TComponent* owner) : TControl(owner) {
  SetColor(clBtnFace);
  SetBounds(0, 0, 65, 17);
}

void TLabel::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Invalidate();
}

void TLabel::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Invalidate();
}

void TLabel::Loaded() {
  TControl::Loaded();
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!autoSize_ || IsLoading()) return;
  std::uint32_t pixel = 0;
  TCanvas canvas(reinterpret_cast<std::uint8_t*>(&pixel), 1, 1);
  canvas.Font = Font().Value();
  const std::string text = caption_.empty() ? std::string(" ") : caption_;
  SetBounds(Left(), Top(), caption_.empty() ? 0 : canvas.TextWidth(text), canvas.TextHeight(text));
}

void TLabel::PaintControl(const TPaintContext& ctx) {
  const std::int32_t w = Width(), h = Height();
  if (w <= 0 || h <= 0 || !ctx.Bits) return;
  // The label draws into a picture of its own size, starting from what lies
  // beneath it, and copies back only the part it may change: the canvas
  // knows no clipping, the picture does.
  std::vector<std::uint32_t> own(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  auto* dst = reinterpret_cast<std::uint32_t*>(ctx.Bits);
  auto ownRow = [&](std::int32_t y) { return own.data() + static_cast<std::ptrdiff_t>(h - 1 - y) * w; };
  auto dstRow = [&](std::int32_t y) {
    return dst + static_cast<std::ptrdiff_t>(ctx.Height - 1 - y) * ctx.Width;
  };
  for (std::int32_t y = ctx.Clip.Top; y < ctx.Clip.Bottom; ++y)
    std::memcpy(ownRow(y - ctx.Origin.Y) + (ctx.Clip.Left - ctx.Origin.X), dstRow(y) + ctx.Clip.Left,
                static_cast<std::size_t>(ctx.Clip.Right - ctx.Clip.Left) * 4);
  {
    TCanvas canvas(reinterpret_cast<std::uint8_t*>(own.data()), w, h);
    if (!transparent_) {
      canvas.BrushColor = static_cast<TColor>(ColorToRGB(Color()));
      canvas.FillRect({0, 0, w, h});
    }
    canvas.Font = Font().Value();
    canvas.BrushClear = true;
    if (!caption_.empty()) {
      const std::int32_t tw = canvas.TextWidth(caption_);
      const std::int32_t x = alignment_ == taCenter         ? (w - tw) / 2
                             : alignment_ == taRightJustify ? w - tw
                                                            : 0;
      canvas.TextOut(x, 0, caption_);
    }
  }
  for (std::int32_t y = ctx.Clip.Top; y < ctx.Clip.Bottom; ++y)
    std::memcpy(dstRow(y) + ctx.Clip.Left, ownRow(y - ctx.Origin.Y) + (ctx.Clip.Left - ctx.Origin.X),
                static_cast<std::size_t>(ctx.Clip.Right - ctx.Clip.Left) * 4);
}

}  // namespace framework
