#pragma once

#include <string>

#include "framework/window/Controls.h"

namespace framework {

enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

// A line of text drawn with its Font. Transparent leaves what lies beneath
// around the glyphs; otherwise the label fills its rectangle with Color.
// AutoSize fits the bounds to the text (after loading and on every change of
// caption or font).
class TLabel : public TControl {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TLabel(TComponent* owner);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  // Stored for the form: the label always draws with its own font.
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value) { parentFont_ = value; }

  void PaintControl(const TPaintContext& context) override;
  void Loaded() override;

 private:
  void AdjustBounds();
  std::string caption_;
  bool transparent_ = false;
  bool autoSize_ = true;
  bool parentFont_ = true;
  TAlignment alignment_ = taLeftJustify;
};

}  // namespace framework
