#include "tools/artwork/Preview.h"

#include <cmath>
#include <string>

namespace artwork {

namespace {

// The parameter values every program starts with, indexed by slot.
std::array<float, parameters::kLast + 1> defaultValues() {
  std::array<float, parameters::kLast + 1> v{};
  for (int slot = parameters::kFirst; slot <= parameters::kLast; ++slot)
    v[slot] = parameters::defaultValue(slot);
  return v;
}

// Draws `source` (from column srcX) into the control's rectangle, cut to the
// control's size as the editor's controls are.
void paint(cairo_t* cr, const Surface& source, int x, int y, int width, int height, int srcX = 0,
           double opacity = 1.0, double scaleY = 1.0) {
  cairo_save(cr);
  cairo_rectangle(cr, x, y, width, height);
  cairo_clip(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, 1.0, scaleY);
  cairo_set_source_surface(cr, source.get(), -srcX, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint_with_alpha(cr, opacity);
  cairo_restore(cr);
}

}  // namespace

Surface composePreview(const PictureSet& pictures, const Layout& layout, bool infoShown) {
  const auto values = defaultValues();
  Surface out = makeSurface(layout.windowWidth, layout.windowHeight);
  Context context = makeContext(out);
  cairo_t* cr = context.get();

  paint(cr, pictures[kBackground], 0, 0, kPanelWidth, layout.windowHeight);
  // Knobs and sliders show the frame of their rounded position.
  for (const KnobPlace& k : layout.knobs) {
    const int position = static_cast<int>(std::nearbyint(static_cast<double>(values[k.slot]) * 100.0));
    const int frame = position * k.frames / 101;
    const int frameWidth = cairo_image_surface_get_width(pictures[k.picture].get()) / k.frames;
    paint(cr, pictures[k.picture], k.x, k.y, k.width, k.height, frame * frameWidth, k.opacity / 255.0);
  }
  for (int n = 1; n <= parameters::kSteps; ++n) {
    const CellPlace& step = layout.steps[n - 1];
    const CellPlace& tie = layout.ties[n - 1];
    if (values[step.slot] > 0.5f) paint(cr, pictures[step.picture], step.x, step.y, step.width, step.height);
    if (values[tie.slot] > 0.5f) paint(cr, pictures[tie.picture], tie.x, tie.y, tie.width, tie.height);
  }
  const CellPlace& gate = layout.gate;
  if (values[gate.slot] >= 0.5f)
    paint(cr, pictures[gate.picture], gate.x, gate.y, gate.width, gate.height, 0, 1.0, gate.height / 53.0);
  for (const CellPlace& c : layout.toggles)
    if (values[c.slot] >= 0.5f) paint(cr, pictures[c.picture], c.x, c.y, c.width, c.height);
  // Rate buttons: the bars k of the value light the buttons of its binary digits.
  for (const CellPlace& b : layout.rateButtons) {
    const int k = static_cast<int>(std::nearbyint(parameters::barsOfPeriod(values[b.slot])));
    if (k & b.bars) paint(cr, pictures[b.picture], b.x, b.y, b.width, b.height);
  }
  if (infoShown) {
    paint(cr, pictures[kInfoScreen], 0, 0, kPanelWidth, layout.windowHeight);
    // The editor's own version label (a platform label, not a picture).
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, layout.versionLabelShown.x, layout.versionLabelShown.y + 14);
    cairo_show_text(cr, "Version 2.0");
  }
  cairo_surface_flush(out.get());
  return out;
}

}  // namespace artwork
