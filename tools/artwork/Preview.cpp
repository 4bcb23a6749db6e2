#include "tools/artwork/Preview.h"

#include <cmath>
#include <string>

namespace artwork {

namespace {

// The parameter values every program starts with, indexed 1 to 61.
std::array<float, 62> defaultValues() {
  std::array<float, 62> v{};
  for (int n : {1, 5, 10, 15}) v[n] = 1.0f;
  v[17] = v[18] = 1.0f;  // ties 1 and 2
  const std::pair<int, float> rest[] = {
      {33, 1.0f},  {34, 0.0f}, {35, 0.4f},  {36, 0.0f},  {37, 0.7f},  {38, 0.7f},  {39, 0.7f},
      {40, 1.0f},  {41, 0.1f}, {42, 0.91f}, {43, 0.0f},  {44, 0.25f}, {45, 0.5f},  {46, 0.6f},
      {47, 1.0f},  {48, 0.3f}, {49, 0.7f},  {50, 1.0f},  {51, 0.35f}, {52, 0.92f}, {53, 1.0f},
      {54, 0.75f}, {55, 0.5f}, {56, 0.4f},  {57, 1.0f},  {58, 0.3f},  {59, 0.7f},  {60, 0.2f}, {61, 0.4f},
  };
  for (auto [index, value] : rest) v[index] = value;
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

Surface composePreview(const PictureSet& pictures, bool infoShown) {
  const std::array<float, 62> values = defaultValues();
  Surface out = makeSurface(kWindowWidth, kWindowHeight);
  Context context = makeContext(out);
  cairo_t* cr = context.get();

  paint(cr, pictures[kBackground], 0, 0, kPanelWidth, kWindowHeight);
  // Knobs and sliders show the frame of their rounded position.
  for (const KnobPlace& k : kKnobs) {
    const int position = static_cast<int>(std::nearbyint(static_cast<double>(values[k.tag]) * 100.0));
    const int frame = position * k.frames / 101;
    const int frameWidth = cairo_image_surface_get_width(pictures[k.picture].get()) / k.frames;
    paint(cr, pictures[k.picture], k.x, k.y, k.width, k.height, frame * frameWidth, k.opacity / 255.0);
  }
  for (int n = 1; n <= kSteps; ++n) {
    if (values[n] > 0.5f) paint(cr, pictures[isMainStep(n) ? kMainStepOn : kStepOn], stepX(n), kStepY, 30, 42);
    if (values[16 + n] > 0.5f) paint(cr, pictures[kTieOn], tieX(n), kTieY, 30, 24);
  }
  if (values[kGatePlace.tag] >= 0.5f)
    paint(cr, pictures[kGatePlace.picture], kGatePlace.x, kGatePlace.y, kGatePlace.width, kGatePlace.height, 0,
          1.0, kGatePlace.height / 53.0);
  for (const CellPlace& c : kToggles)
    if (values[c.tag] >= 0.5f) paint(cr, pictures[c.picture], c.x, c.y, c.width, c.height);
  // Rate buttons: the bars value k lights the buttons of its binary digits.
  for (const CellPlace& b : kRateButtons) {
    const float v = values[b.picture == kLfo1Sync ? 60 : 61];
    const int k = static_cast<int>(std::nearbyint(static_cast<double>(v) * 10.0));
    if (k & b.tag) paint(cr, pictures[b.picture], b.x, b.y, b.width, b.height);
  }
  if (infoShown) {
    paint(cr, pictures[kInfoScreen], 0, 0, kPanelWidth, kWindowHeight);
    // The editor's own version label (a platform label, not a picture).
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, kVersionLabelShown.x, kVersionLabelShown.y + 14);
    cairo_show_text(cr, "Version 2.0");
  }
  cairo_surface_flush(out.get());
  return out;
}

}  // namespace artwork
