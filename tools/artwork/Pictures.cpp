#include "tools/artwork/Pictures.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <span>
#include <stdexcept>
#include <string>

namespace artwork {

namespace {

constexpr double kSweepDegrees = 135.0;  // the pointer turns from -135 to +135 degrees

Font font(double size, bool bold = false, double tracking = 0.0) {
  return Font{size, bold, tracking};
}

void circle(cairo_t* cr, double cx, double cy, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, cx, cy, r, 0, 2 * std::numbers::pi);
}

// Draws `frames` frames of `frameWidth` side by side, each clipped to its own
// cell so shadows and glows never leak into a neighbour.
template <typename DrawFrame>
void filmStrip(cairo_t* cr, int frames, int frameWidth, int height, DrawFrame drawFrame) {
  for (int k = 0; k < frames; ++k) {
    cairo_save(cr);
    cairo_translate(cr, k * frameWidth, 0);
    cairo_rectangle(cr, 0, 0, frameWidth, height);
    cairo_clip(cr);
    drawFrame(k);
    cairo_restore(cr);
  }
}

// An opaque square-edged housing for the unmasked pictures: they replace the
// whole rectangle beneath them, so their edge is part of the design.
// The editor shows `w` x `h` of a `fullW` x `fullH` picture (auto-size cuts odd
// sizes to even); the rim follows the shown part, the rest stays opaque.
void housing(cairo_t* cr, double fullW, double fullH, double w, double h) {
  cairo_rectangle(cr, 0, 0, fullW, fullH);
  setColour(cr, {0.047, 0.051, 0.058});
  cairo_fill(cr);
  cairo_rectangle(cr, 0.5, 0.5, w - 1, h - 1);
  setColour(cr, {1, 1, 1, 0.06});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

void metalGradient(cairo_t* cr, double y0, double y1, double lift = 0.0) {
  verticalGradient(cr, y0, y1, mix(palette::metalLight, {1, 1, 1}, lift), palette::metalDark);
}

void panelBase(cairo_t* cr, int w, int h) {
  cairo_rectangle(cr, 0, 0, w, h);
  verticalGradient(cr, 0, h, palette::panelTop, palette::panelBottom);
  cairo_fill(cr);
  brushedGrain(cr, 0, 0, w, h, 0.035, 7);
  // Light falls from above: a soft sheen at the top, darker corners below.
  cairo_pattern_t* sheen =
      cairo_pattern_create_radial(w * 0.5, -h * 0.35, h * 0.2, w * 0.5, -h * 0.35, h * 1.45);
  cairo_pattern_add_color_stop_rgba(sheen, 0, 1, 1, 1, 0.06);
  cairo_pattern_add_color_stop_rgba(sheen, 0.55, 1, 1, 1, 0.0);
  cairo_pattern_add_color_stop_rgba(sheen, 1, 0, 0, 0, 0.35);
  cairo_set_source(cr, sheen);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_fill(cr);
  cairo_pattern_destroy(sheen);
  cairo_rectangle(cr, 0, 0.5, w, 1);
  setColour(cr, {1, 1, 1, 0.10});
  cairo_fill(cr);
}

// Section heading: an amber title with an optional dim caption after it.
void heading(cairo_t* cr, const std::string& title, const std::string& caption, double x, double baseline,
             Align align) {
  const Font t = font(12.5, true, 1.0);
  const Font c = font(8.5);
  const double tw = textWidth(cr, title, t);
  if (align == Align::Right) {
    text(cr, title, x, baseline, t, palette::accent, Align::Right);
    if (!caption.empty()) text(cr, caption, x - tw - 8, baseline, c, palette::textDim, Align::Right);
  } else {
    text(cr, title, x, baseline, t, palette::accent);
    if (!caption.empty()) text(cr, caption, x + tw + 8, baseline, c, palette::textDim);
  }
}

void label(cairo_t* cr, const std::string& s, double x, double baseline, Align align = Align::Left) {
  text(cr, s, x, baseline, font(9), palette::text, align);
}

void smallLabel(cairo_t* cr, const std::string& s, double x, double baseline, Align align = Align::Left,
                Rgba colour = palette::textDim) {
  text(cr, s, x, baseline, font(7.5, true, 0.4), colour, align);
}

// The word the parameter table gives a named value ("LP", the rate button's
// "4"); empty when the value has none.
std::string wordOf(std::span<const parameters::Point> points, float value) {
  for (const parameters::Point& p : points)
    if (p.value == value) return std::string(p.word());
  return "";
}

// The named values as a sentence lists them: the words, each through
// typeset (a fraction as its glyph), and the last one's label with its unit
// ("1, 2, 4 or 8 bars").
std::string spokenList(std::span<const parameters::Point> points,
                       std::string (*typeset)(std::string_view) = nullptr) {
  std::string out;
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    if (i > 0) out += ", ";
    const std::string_view word = points[i].word();
    out += typeset ? typeset(word) : std::string(word);
  }
  return out + (points.size() > 1 ? " or " : "") + std::string(points.back().label);
}

// "1/4" as the single glyph a reader expects in running text.
std::string fractionGlyph(std::string_view word) {
  if (word == "1/4") return "¼";
  if (word == "1/2") return "½";
  if (word == "3/4") return "¾";
  return std::string(word);
}

// The filter type each side of the switch and lamp shows.
std::string lowPassWord() {
  return wordOf(parameters::kFilterTypes, 1.0f);
}
std::string highPassWord() {
  return wordOf(parameters::kFilterTypes, 0.0f);
}

void dialTicks(cairo_t* cr, double cx, double cy, double inner, double outer, double major, int count) {
  cairo_save(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int i = 0; i < count; ++i) {
    const double deg = -kSweepDegrees + 2 * kSweepDegrees * i / (count - 1);
    const bool isMajor = i == 0 || i == count - 1 || i == (count - 1) / 2;
    const double r1 = isMajor ? major : outer;
    cairo_move_to(cr, dialX(cx, inner, deg), dialY(cy, inner, deg));
    cairo_line_to(cr, dialX(cx, r1, deg), dialY(cy, r1, deg));
    cairo_set_line_width(cr, isMajor ? 1.4 : 1.0);
    setColour(cr, isMajor ? palette::textDim : palette::textFaint);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
}

// A dark socket under a knob: what shows through the knob's transparent parts.
void knobSocket(cairo_t* cr, double cx, double cy, double r) {
  circle(cr, cx, cy + 0.7, r + 0.6);
  setColour(cr, {1, 1, 1, 0.08});
  cairo_fill(cr);
  circle(cr, cx, cy, r);
  verticalGradient(cr, cy - r, cy + r, {0.035, 0.038, 0.043}, {0.075, 0.080, 0.088});
  cairo_fill(cr);
}

// The crisp one-pixel rim of a button-like cell, darker and warmer when lit.
void strokeRim(cairo_t* cr, double x, double y, double w, double h, double r, bool lit) {
  roundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, r - 0.5);
  setColour(cr, lit ? Rgba{0.35, 0.16, 0.0, 0.9} : Rgba{0.0, 0.0, 0.0, 0.85});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

void placed(cairo_t* cr, double x, double y, const std::function<void()>& draw) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  draw();
  cairo_restore(cr);
}

}  // namespace

double knobDegrees(int frame, int frames) {
  return -kSweepDegrees + 2 * kSweepDegrees * frame / (frames - 1);
}

double sliderThumbX(int frame) {
  return 6.5 + 87.0 * frame / 99.0;
}

// ---------------------------------------------------------------- knobs

void drawBigKnob(cairo_t* cr, double degrees) {
  const double cx = 29, cy = 29;  // the control shows 58 x 58 of the 59 x 59 frame
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  // Value ring: a dark track with the amber part up to the pointer.
  dialArc(cr, cx, cy, 25.3, -kSweepDegrees, kSweepDegrees);
  cairo_set_line_width(cr, 3.4);
  setColour(cr, {0.02, 0.022, 0.025});
  cairo_stroke(cr);
  if (degrees > -kSweepDegrees + 0.01) {
    dialArc(cr, cx, cy, 25.3, -kSweepDegrees, degrees);
    cairo_set_line_width(cr, 5.5);
    setColour(cr, palette::accent, 0.22);
    cairo_stroke(cr);
    dialArc(cr, cx, cy, 25.3, -kSweepDegrees, degrees);
    cairo_set_line_width(cr, 2.2);
    setColour(cr, palette::accent);
    cairo_stroke(cr);
  }
  softShadow(cr, cx - 20, cy - 20, 40, 40, 3.5, 0, 2.5, {0, 0, 0, 0.75},
             [=](cairo_t* c) { circle(c, cx, cy, 19.5); });
  // Skirt with knurls that turn with the knob.
  circle(cr, cx, cy, 20);
  metalGradient(cr, cy - 20, cy + 20);
  cairo_fill(cr);
  cairo_save(cr);
  circle(cr, cx, cy, 20);
  cairo_clip(cr);
  cairo_set_line_width(cr, 1.0);
  for (int i = 0; i < 40; ++i) {
    const double a = degrees + i * 9.0;
    cairo_move_to(cr, dialX(cx, 16.8, a), dialY(cy, 16.8, a));
    cairo_line_to(cr, dialX(cx, 20.5, a), dialY(cy, 20.5, a));
  }
  setColour(cr, {0, 0, 0, 0.35});
  cairo_stroke(cr);
  cairo_restore(cr);
  circle(cr, cx, cy, 19.5);
  cairo_set_line_width(cr, 1);
  setColour(cr, {1, 1, 1, 0.10});
  cairo_stroke(cr);
  // Cap: brushed dome with a soft highlight towards the light.
  softShadow(cr, cx - 16, cy - 16, 32, 32, 2, 0, 1.2, {0, 0, 0, 0.6},
             [=](cairo_t* c) { circle(c, cx, cy, 15.5); });
  circle(cr, cx, cy, 15.5);
  verticalGradient(cr, cy - 15.5, cy + 15.5, {0.275, 0.292, 0.315}, {0.150, 0.160, 0.175});
  cairo_fill(cr);
  cairo_pattern_t* hl = cairo_pattern_create_radial(cx - 5, cy - 8, 1, cx - 3, cy - 5, 16);
  cairo_pattern_add_color_stop_rgba(hl, 0, 1, 1, 1, 0.16);
  cairo_pattern_add_color_stop_rgba(hl, 1, 1, 1, 1, 0.0);
  cairo_set_source(cr, hl);
  circle(cr, cx, cy, 15.5);
  cairo_fill(cr);
  cairo_pattern_destroy(hl);
  circle(cr, cx, cy, 15.0);
  cairo_set_line_width(cr, 1);
  setColour(cr, {1, 1, 1, 0.09});
  cairo_stroke(cr);
  // Pointer: a white line with a notch continuing over the skirt.
  cairo_move_to(cr, dialX(cx, 5.5, degrees), dialY(cy, 5.5, degrees));
  cairo_line_to(cr, dialX(cx, 13.8, degrees), dialY(cy, 13.8, degrees));
  cairo_set_line_width(cr, 2.6);
  setColour(cr, palette::pointer);
  cairo_stroke(cr);
  cairo_move_to(cr, dialX(cx, 16.8, degrees), dialY(cy, 16.8, degrees));
  cairo_line_to(cr, dialX(cx, 19.5, degrees), dialY(cy, 19.5, degrees));
  cairo_set_line_width(cr, 1.6);
  setColour(cr, palette::accent);
  cairo_stroke(cr);
}

void drawSmallKnob(cairo_t* cr, double degrees) {
  const double cx = 9, cy = 9;
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  dialArc(cr, cx, cy, 8.1, -kSweepDegrees, kSweepDegrees);
  cairo_set_line_width(cr, 1.5);
  setColour(cr, {0.02, 0.022, 0.025});
  cairo_stroke(cr);
  if (degrees > -kSweepDegrees + 0.01) {
    dialArc(cr, cx, cy, 8.1, -kSweepDegrees, degrees);
    cairo_set_line_width(cr, 1.3);
    setColour(cr, palette::accent);
    cairo_stroke(cr);
  }
  circle(cr, cx, cy + 0.6, 6.4);
  setColour(cr, {0, 0, 0, 0.6});
  cairo_fill(cr);
  circle(cr, cx, cy, 6.2);
  metalGradient(cr, cy - 6.2, cy + 6.2, 0.05);
  cairo_fill(cr);
  circle(cr, cx, cy, 5.7);
  setColour(cr, {1, 1, 1, 0.10});
  cairo_set_line_width(cr, 0.8);
  cairo_stroke(cr);
  cairo_move_to(cr, dialX(cx, 1.6, degrees), dialY(cy, 1.6, degrees));
  cairo_line_to(cr, dialX(cx, 5.6, degrees), dialY(cy, 5.6, degrees));
  cairo_set_line_width(cr, 1.7);
  setColour(cr, palette::pointer);
  cairo_stroke(cr);
}

// ---------------------------------------------------------------- slider

void drawSlider(cairo_t* cr, double thumbX) {
  // Groove with the amber value bar up to the thumb.
  roundedRect(cr, 2.5, 6.5, 95, 6, 3);
  setColour(cr, {1, 1, 1, 0.07});
  cairo_fill(cr);
  roundedRect(cr, 2.5, 6, 95, 5.5, 2.75);
  setColour(cr, {0.015, 0.017, 0.02});
  cairo_fill(cr);
  roundedRect(cr, 4, 7.4, thumbX - 4, 2.8, 1.4);
  verticalGradient(cr, 7.4, 10.2, palette::accentHot, palette::accentDeep);
  cairo_fill(cr);
  // Thumb.
  const double left = thumbX - 5.5;
  softShadow(cr, left, 2, 11, 14, 1.8, 0, 1.3, {0, 0, 0, 0.8},
             [=](cairo_t* c) { roundedRect(c, left, 2, 11, 14, 2.5); });
  roundedRect(cr, left, 1.5, 11, 15, 2.5);
  metalGradient(cr, 1.5, 16.5, 0.12);
  cairo_fill(cr);
  roundedRect(cr, left + 0.5, 2, 10, 14, 2);
  setColour(cr, {1, 1, 1, 0.12});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  cairo_move_to(cr, thumbX, 4.2);
  cairo_line_to(cr, thumbX, 13.8);
  cairo_set_line_width(cr, 1.6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  setColour(cr, palette::pointer);
  cairo_stroke(cr);
}

// ---------------------------------------------------------------- cells

void drawStepCell(cairo_t* cr, bool lit, bool mainStep) {
  const double x = 1, y = 1, w = 27, h = 40, r = 3;
  if (!lit) {
    // Unlit look, printed on the background: a soft shadow under the pad.
    softShadow(cr, x, y, w, h, 2, 0, 1.5, {0, 0, 0, 0.7}, [=](cairo_t* c) { roundedRect(c, x, y, w, h, r); });
  }
  roundedRect(cr, x, y, w, h, r);
  if (lit) {
    verticalGradient(cr, y, y + h, mainStep ? Rgba{1.0, 0.80, 0.42} : Rgba{1.0, 0.72, 0.32},
                     mainStep ? Rgba{0.93, 0.45, 0.05} : palette::accentDeep);
  } else {
    verticalGradient(cr, y, y + h, mainStep ? Rgba{0.235, 0.250, 0.272} : Rgba{0.195, 0.208, 0.226},
                     {0.115, 0.122, 0.133});
  }
  cairo_fill(cr);
  if (lit) {
    cairo_pattern_t* glow = cairo_pattern_create_radial(14.5, 24, 2, 14.5, 24, 24);
    cairo_pattern_add_color_stop_rgba(glow, 0, 1, 0.95, 0.75, 0.35);
    cairo_pattern_add_color_stop_rgba(glow, 1, 1, 0.95, 0.75, 0.0);
    cairo_set_source(cr, glow);
    roundedRect(cr, x, y, w, h, r);
    cairo_fill(cr);
    cairo_pattern_destroy(glow);
  }
  // Gloss on the upper half and a crisp rim.
  roundedRect(cr, x + 1, y + 1, w - 2, h / 2 - 2, r - 1);
  verticalGradient(cr, y, y + h / 2, {1, 1, 1, lit ? 0.30 : 0.07}, {1, 1, 1, 0.0});
  cairo_fill(cr);
  strokeRim(cr, x, y, w, h, r, lit);
  // LED slot: long on the first step of each beat, short on the others.
  const double ledW = mainStep ? 19 : 9;
  const double ledX = 14.5 - ledW / 2;
  if (lit) {
    softShadow(cr, ledX, 5, ledW, 3, 1.5, 0, 0, {1, 1, 0.9, 0.9},
               [=](cairo_t* c) { roundedRect(c, ledX, 5, ledW, 3, 1.5); });
  }
  roundedRect(cr, ledX, 5, ledW, 3, 1.5);
  setColour(cr, lit ? Rgba{1.0, 0.98, 0.90} : Rgba{0.04, 0.043, 0.048});
  cairo_fill(cr);
  if (!lit) {
    cairo_move_to(cr, ledX + 1.5, 8.5);
    cairo_line_to(cr, ledX + ledW - 1.5, 8.5);
    setColour(cr, {1, 1, 1, 0.08});
    cairo_stroke(cr);
  }
}

void drawTie(cairo_t* cr, bool lit) {
  // A musical tie over the boundary between two steps, tapering to points.
  auto shape = [](cairo_t* c) {
    cairo_move_to(c, 4.5, 16.5);
    cairo_curve_to(c, 8, 3.5, 25, 3.5, 28.5, 16.5);
    cairo_curve_to(c, 24, 9.8, 9, 9.8, 4.5, 16.5);
    cairo_close_path(c);
  };
  if (lit) {
    softShadow(cr, 4, 3, 25, 14, 2.4, 0, 0, {1.0, 0.62, 0.15, 0.85}, shape);
    shape(cr);
    verticalGradient(cr, 4, 16, palette::accentHot, palette::accent);
    cairo_fill_preserve(cr);
    setColour(cr, {1, 0.95, 0.8, 0.9});
    cairo_set_line_width(cr, 0.6);
    cairo_stroke(cr);
  } else {
    cairo_save(cr);
    cairo_translate(cr, 0, 1);
    shape(cr);
    setColour(cr, {1, 1, 1, 0.07});
    cairo_fill(cr);
    cairo_restore(cr);
    shape(cr);
    verticalGradient(cr, 4, 16, {0.20, 0.213, 0.232}, {0.11, 0.117, 0.128});
    cairo_fill_preserve(cr);
    setColour(cr, {0, 0, 0, 0.6});
    cairo_set_line_width(cr, 0.6);
    cairo_stroke(cr);
  }
}

// ---------------------------------------------------------------- lamps, switches, pads

void drawLamp(cairo_t* cr, LampKind kind, bool lit) {
  housing(cr, 36, 18, 36, 18);
  roundedRect(cr, 2, 2, 32, 14, 2);
  if (lit) {
    verticalGradient(cr, 2, 16, {0.20, 0.105, 0.02}, {0.11, 0.055, 0.01});
  } else {
    verticalGradient(cr, 2, 16, {0.025, 0.027, 0.031}, {0.055, 0.058, 0.064});
  }
  cairo_fill(cr);
  roundedRect(cr, 2.5, 2.5, 31, 13, 1.5);
  setColour(cr, {0, 0, 0, 0.7});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  const Font f = font(8.5, true, 0.6);
  const double baseline = 12.2;
  if (kind == LampKind::OnOff) {
    if (lit)
      glowText(cr, "ON", 18, baseline, f, palette::accent, Align::Centre, 2.0);
    else
      text(cr, "OFF", 18, baseline, f, palette::textFaint, Align::Centre, false);
  } else {
    // The filter lamp is a mode display: both states are readable.
    if (lit)
      glowText(cr, lowPassWord(), 18, baseline, f, palette::accent, Align::Centre, 2.0);
    else
      text(cr, highPassWord(), 18, baseline, f, palette::cool, Align::Centre, false);
  }
  // Glass reflection.
  roundedRect(cr, 3, 3, 30, 5, 1.5);
  setColour(cr, {1, 1, 1, 0.05});
  cairo_fill(cr);
}

void drawSwitch(cairo_t* cr, bool on) {
  // The editor shows the top-left 16 x 22 pixels of the 17 x 23 picture.
  housing(cr, 17, 23, 16, 22);
  roundedRect(cr, 1.5, 1.5, 13, 19, 2.5);
  verticalGradient(cr, 1.5, 20.5, {0.16, 0.17, 0.185}, {0.085, 0.09, 0.1});
  cairo_fill(cr);
  roundedRect(cr, 4.5, 3.5, 7, 15, 2);
  setColour(cr, {0.01, 0.011, 0.013});
  cairo_fill(cr);
  if (on) {
    softShadow(cr, 6, 12, 4, 5, 1.5, 0, 0, {1.0, 0.6, 0.12, 0.95},
               [](cairo_t* c) { roundedRect(c, 5.5, 12, 5, 5.5, 1.5); });
    roundedRect(cr, 5.5, 12, 5, 5.5, 1.5);
    setColour(cr, palette::accent);
    cairo_fill(cr);
  }
  const double top = on ? 2.5 : 10.5;
  roundedRect(cr, 3, top + 0.8, 10, 9, 2);
  setColour(cr, {0, 0, 0, 0.6});
  cairo_fill(cr);
  roundedRect(cr, 3, top, 10, 9, 2);
  metalGradient(cr, top, top + 9, 0.22);
  cairo_fill(cr);
  cairo_set_line_width(cr, 1);
  for (int i = 0; i < 3; ++i) {
    const double y = top + 3 + i * 1.8;
    cairo_move_to(cr, 5, y);
    cairo_line_to(cr, 11, y);
  }
  setColour(cr, {0, 0, 0, 0.35});
  cairo_stroke(cr);
  roundedRect(cr, 3.5, top + 0.5, 9, 8, 1.5);
  setColour(cr, {1, 1, 1, 0.16});
  cairo_stroke(cr);
}

void drawRatePad(cairo_t* cr, bool lit) {
  // The editor shows 18 x 18 of the 19 x 18 picture.
  const double x = 2, y = 2, s = 14, r = 3;
  if (!lit)
    softShadow(cr, x, y, s, s, 1.6, 0, 1.2, {0, 0, 0, 0.7},
               [=](cairo_t* c) { roundedRect(c, x, y, s, s, r); });
  roundedRect(cr, x, y, s, s, r);
  if (lit)
    verticalGradient(cr, y, y + s, {1.0, 0.74, 0.34}, palette::accentDeep);
  else
    verticalGradient(cr, y, y + s, {0.21, 0.225, 0.245}, {0.12, 0.128, 0.14});
  cairo_fill(cr);
  roundedRect(cr, x + 1, y + 1, s - 2, s / 2 - 1, r - 1);
  verticalGradient(cr, y, y + s / 2, {1, 1, 1, lit ? 0.32 : 0.08}, {1, 1, 1, 0});
  cairo_fill(cr);
  strokeRim(cr, x, y, s, s, r, lit);
  if (lit) softShadow(cr, 7, 7, 4, 4, 1.5, 0, 0, {1, 1, 0.9, 1}, [](cairo_t* c) { circle(c, 9, 9, 2.2); });
  circle(cr, 9, 9, 2.2);
  setColour(cr, lit ? Rgba{1.0, 0.98, 0.9} : Rgba{0.04, 0.043, 0.048});
  cairo_fill(cr);
}

void drawGateSwitch(cairo_t* cr, bool on) {
  housing(cr, 38, 53, 38, 53);
  roundedRect(cr, 2.5, 2.5, 33, 48, 3.5);
  setColour(cr, {0, 0, 0, 0.8});
  cairo_fill(cr);
  roundedRect(cr, 3.5, 3, 31, 46, 3);
  if (on)
    verticalGradient(cr, 3, 49, {0.36, 0.30, 0.25}, {0.16, 0.13, 0.11});
  else
    metalGradient(cr, 3, 49);
  cairo_fill(cr);
  roundedRect(cr, 4, 3.5, 30, 45, 2.5);
  setColour(cr, {1, 1, 1, 0.12});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // Power symbol.
  const double cx = 19, cy = 20;
  auto symbol = [=](cairo_t* c) {
    cairo_set_line_width(c, 2.2);
    cairo_set_line_cap(c, CAIRO_LINE_CAP_ROUND);
    dialArc(c, cx, cy, 7, 35, 325);
    cairo_move_to(c, cx, cy - 9);
    cairo_line_to(c, cx, cy - 1.5);
  };
  if (on) {
    softShadow(cr, cx - 10, cy - 10, 20, 20, 2.5, 0, 0, {1.0, 0.6, 0.12, 1.0}, [&](cairo_t* c) {
      symbol(c);
      cairo_stroke(c);
    });
  }
  symbol(cr);
  setColour(cr, on ? palette::accentHot : Rgba{0.06, 0.065, 0.072});
  cairo_stroke(cr);
  if (!on) {
    cairo_save(cr);
    cairo_translate(cr, 0, 1);
    symbol(cr);
    setColour(cr, {1, 1, 1, 0.10});
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_restore(cr);
  }
  const Font f = font(7.5, true, 1.0);
  if (on)
    glowText(cr, "GATE", 19, 41, f, palette::accentHot, Align::Centre, 1.0);
  else
    text(cr, "GATE", 19, 41, f, palette::textDim, Align::Centre);
}

void drawBigKnobBottom(cairo_t* cr) {
  // A slim brushed plate with an engraved scale; spare artwork of the list.
  softShadow(cr, 1, 3, 477, 15, 2.5, 0, 1.5, {0, 0, 0, 0.7},
             [](cairo_t* c) { roundedRect(c, 1.5, 3, 476, 15, 7.5); });
  roundedRect(cr, 1.5, 3, 476, 15, 7.5);
  metalGradient(cr, 3, 18, 0.05);
  cairo_fill_preserve(cr);
  cairo_save(cr);
  cairo_clip(cr);
  brushedGrain(cr, 0, 0, 479, 22, 0.06, 31);
  cairo_restore(cr);
  roundedRect(cr, 2, 3.5, 475, 14, 7);
  setColour(cr, {1, 1, 1, 0.12});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  for (int i = 0; i <= 20; ++i) {
    const double x = 19.5 + i * 22;
    const double len = i % 5 == 0 ? 7 : 4;
    cairo_move_to(cr, x, 10.5 - len / 2);
    cairo_line_to(cr, x, 10.5 + len / 2);
  }
  setColour(cr, {0, 0, 0, 0.45});
  cairo_stroke(cr);
}

// ---------------------------------------------------------------- background

namespace {

using namespace parameters;

void drawGateSection(cairo_t* cr, const Layout& layout) {
  recessedWell(cr, 10, 14, 700, 124, 6);
  heading(cr, "GATE", "16 steps per bar — click or drag to paint, ties hold a step into the next", 100, 36,
          Align::Left);
  // Info badge in the information screen's click area.
  const Area& info = layout.infoClick;
  const double icx = info.x + info.width / 2.0, icy = info.y + info.height / 2.0;
  softShadow(cr, icx - 11, icy - 11, 22, 22, 2, 0, 1.5, {0, 0, 0, 0.7},
             [=](cairo_t* c) { circle(c, icx, icy, 11); });
  circle(cr, icx, icy, 11);
  metalGradient(cr, icy - 11, icy + 11, 0.05);
  cairo_fill(cr);
  circle(cr, icx, icy, 10.5);
  setColour(cr, palette::accent, 0.85);
  cairo_set_line_width(cr, 1.2);
  cairo_stroke(cr);
  text(cr, "i", icx, icy + 5, font(13, true), palette::title, Align::Centre);

  smallLabel(cr, "TIES", layout.ties[0].x - 3, layout.ties[0].y + 15, Align::Right);
  for (int n = 1; n <= kSteps; ++n) {
    const CellPlace& tie = layout.ties[n - 1];
    const CellPlace& step = layout.steps[n - 1];
    const bool main = step.picture == kMainStepOn;
    placed(cr, tie.x, tie.y, [&] { drawTie(cr, false); });
    placed(cr, step.x, step.y, [&] { drawStepCell(cr, false, main); });
    text(cr, std::to_string(n), step.x + 14.5, step.y + 54, font(8, main),
         main ? palette::text : palette::textDim, Align::Centre);
  }
  // Beat brackets under each group of four steps.
  for (int beat = 0; beat < 4; ++beat) {
    const CellPlace& first = layout.steps[beat * 4];
    const CellPlace& last = layout.steps[beat * 4 + 3];
    const double x0 = first.x + 2, x1 = last.x + 27;
    cairo_move_to(cr, x0, first.y + 57.5);
    cairo_line_to(cr, x0, first.y + 60.5);
    cairo_line_to(cr, x1, last.y + 60.5);
    cairo_line_to(cr, x1, last.y + 57.5);
  }
  setColour(cr, palette::textFaint);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);

  const CellPlace& gate = layout.gate;
  placed(cr, gate.x, gate.y, [&] {
    cairo_scale(cr, 1.0, gate.height / 53.0);  // the editor stretches the picture to the control
    drawGateSwitch(cr, false);
  });

  for (const int slot : {kGateAttack, kGateDecay, kGateShuffle}) {
    const KnobPlace& k = layout.knob(slot);
    const double cx = k.x + 9, cy = k.y + 9;
    knobSocket(cr, cx, cy, 10.2);
    label(cr, std::string(k.label), k.x + 26, cy + 3.5);
  }
}

// A caption centred over a lamp and its switch, above the lamp.
void pairCaption(cairo_t* cr, const std::string& s, const CellPlace& lamp, const CellPlace& button) {
  const int left = std::min(lamp.x, button.x), right = std::max(lamp.x + lamp.width, button.x + button.width);
  smallLabel(cr, s, (left + right) / 2.0, lamp.y - 6, Align::Centre);
}

void drawUnitSection(cairo_t* cr, const Layout& layout, int unit) {
  const bool left = unit == 1;
  const double wellX = left ? 10 : 424;
  recessedWell(cr, wellX, 146, 286, 186, 6);
  const std::string name = left ? "FD1" : "FD2";
  heading(cr, name, "Filter · Delay", left ? 22 : 698, 182, left ? Align::Left : Align::Right);

  for (const KnobPlace& k : layout.knobs) {
    if (k.picture != kSlider || k.slot < (left ? kFd1Cutoff : kFd2Cutoff) ||
        k.slot > (left ? kFd1Pan : kFd2Pan))
      continue;
    if (left)
      label(cr, std::string(k.label), k.x - 6, k.y + 13, Align::Right);
    else
      label(cr, std::string(k.label), k.x + k.width + 6, k.y + 13);
  }
  for (const CellPlace& c : layout.toggles) {
    const bool mine = left ? (c.slot < kFd2Enable) : (c.slot >= kFd2Enable);
    if (!mine) continue;
    placed(cr, c.x, c.y, [&] {
      if (c.picture == kSwitch)
        drawSwitch(cr, false);
      else
        drawLamp(cr, c.picture == kFilterLamp ? LampKind::Filter : LampKind::OnOff, false);
    });
  }
  // Captions over the switch-and-lamp pairs, and the legend of the filter
  // switch on its outer side.
  const std::string fd = left ? "fd1" : "fd2";
  pairCaption(cr, "ENABLE", layout.toggle(fd + "enableled"), layout.toggle(fd + "enable"));
  pairCaption(cr, "DELAY SYNC", layout.toggle(fd + "delaysyncled"), layout.toggle(fd + "delaysync"));
  const CellPlace& filterLamp = layout.toggle(fd + "filtertypeled");
  smallLabel(cr, "FILTER", filterLamp.x + filterLamp.width / 2, filterLamp.y - 5, Align::Centre);
  const CellPlace& filter = layout.toggle(fd + "filtertype");
  const int legendX = left ? filter.x + filter.width + 4 : filter.x - 4;
  smallLabel(cr, lowPassWord(), legendX, filter.y + 9, left ? Align::Left : Align::Right);
  smallLabel(cr, highPassWord(), legendX, filter.y + 21, left ? Align::Left : Align::Right);
}

void drawLfoSection(cairo_t* cr, const Layout& layout, int lfo) {
  const bool left = lfo == 1;
  const double wellX = left ? 10 : 452;
  recessedWell(cr, wellX, 338, 258, 124, 6);
  const std::string name = left ? "LFO 1" : "LFO 2";
  heading(cr, name, "", left ? 22 : 698, 361, left ? Align::Left : Align::Right);
  text(cr, left ? "depth on FD1" : "depth on FD2", left ? 22 : 698, 375, font(8), palette::textDim,
       left ? Align::Left : Align::Right);
  // The LFO's triangle shape, drawn faintly under the caption.
  const double wx = left ? 22 : 698 - 64;
  cairo_move_to(cr, wx, 393);
  for (int i = 0; i < 4; ++i) {
    cairo_line_to(cr, wx + 8 + 16 * i, 386 + (i % 2) * 14);
  }
  cairo_line_to(cr, wx + 64, 393);
  cairo_set_line_width(cr, 1.2);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  setColour(cr, palette::accent, 0.45);
  cairo_stroke(cr);
  const int period = left ? kLfo1Period : kLfo2Period;
  const CellPlace* first = nullptr;
  const CellPlace* last = nullptr;
  for (const CellPlace& b : layout.rateButtons) {
    if (b.slot != period) continue;
    if (first == nullptr) first = &b;
    last = &b;
  }
  if (first == nullptr) throw std::runtime_error("the form has no rate buttons for " + name);
  // The caption on the outer side of the row of buttons.
  const Parameter& rate = parameter(period);
  const std::string caption = "Rate (" + std::string(rate.unitLabel) + ")";
  if (left)
    label(cr, caption, first->x - 6, first->y + 12.5, Align::Right);
  else
    label(cr, caption, last->x + last->width + 8, last->y + 12.5);
  for (const CellPlace& b : layout.rateButtons) {
    if (b.slot != period) continue;
    placed(cr, b.x, b.y, [&] { drawRatePad(cr, false); });
    const std::string bars = wordOf(rate.points, periodOfBars(b.bars));
    if (bars.empty())
      throw std::runtime_error("no period of " + std::to_string(b.bars) + " bars for a rate button");
    text(cr, bars, b.x + 9, b.y + 30, font(8, true), palette::text, Align::Centre);
  }
  // Both cutoff sliders follow LFO 1; the pan sliders follow their own LFO.
  for (const KnobPlace& k : layout.knobs) {
    const bool cutoff = k.slot == (left ? kFd1LfoCutoff : kFd2LfoCutoff);
    if (!cutoff && k.slot != (left ? kFd1LfoPan : kFd2LfoPan)) continue;
    const std::string s = cutoff ? "LFO 1→Cutoff" : (left ? "LFO 1→Pan" : "LFO 2→Pan");
    if (left)
      label(cr, s, k.x - 5, k.y + 13, Align::Right);
    else
      label(cr, s, k.x + k.width + 5, k.y + 13);
  }
}

void drawSignalFlow(cairo_t* cr) {
  struct Box {
    const char* name;
    double cx, cy;
  };
  const Box gate{"GATE", 360, 222}, fd1{"FD1", 324, 248}, fd2{"FD2", 396, 248}, out{"OUT", 360, 274};
  cairo_set_line_width(cr, 1);
  setColour(cr, palette::textFaint);
  auto wire = [&](const Box& a, const Box& b) {
    cairo_move_to(cr, a.cx, a.cy + 6);
    cairo_curve_to(cr, a.cx, a.cy + 16, b.cx, b.cy - 16, b.cx, b.cy - 6);
    cairo_stroke(cr);
  };
  wire(gate, fd1);
  wire(gate, fd2);
  wire(fd1, out);
  wire(fd2, out);
  cairo_move_to(cr, gate.cx, gate.cy + 6);
  cairo_line_to(cr, out.cx, out.cy - 6);
  cairo_stroke(cr);
  for (const Box& b : {gate, fd1, fd2, out}) {
    roundedRect(cr, b.cx - 17, b.cy - 6, 34, 12, 6);
    setColour(cr, {0.07, 0.075, 0.083});
    cairo_fill_preserve(cr);
    setColour(cr, palette::textFaint);
    cairo_stroke(cr);
    text(cr, b.name, b.cx, b.cy + 3, font(6.5, true, 0.5), palette::textDim, Align::Centre, false);
  }
  text(cr, "IN", gate.cx - 30, gate.cy + 2.5, font(6.5, true, 0.5), palette::textFaint, Align::Right, false);
  cairo_move_to(cr, gate.cx - 28, gate.cy + 0.5);
  cairo_line_to(cr, gate.cx - 18, gate.cy + 0.5);
  cairo_stroke(cr);
}

void drawMixSection(cairo_t* cr, const Layout& layout) {
  // Brand and signal flow in the centre column, then the three volume knobs.
  const Font brand = font(19, true);
  const double wBrand = textWidth(cr, "plonkrift", brand), w6 = textWidth(cr, "6", brand);
  const double x0 = 360 - (wBrand + w6) / 2;
  text(cr, "plonkrift", x0, 178, brand, palette::title);
  glowText(cr, "6", x0 + wBrand, 178, brand, palette::accent, Align::Left, 2.5);
  text(cr, "V2  ·  TEMPO GATE", 360, 193, font(6.5, true, 1.2), palette::textDim, Align::Centre);
  drawSignalFlow(cr);

  for (const int slot : {kGateVolume, kFd1Volume, kFd2Volume}) {
    const KnobPlace& k = layout.knob(slot);
    const double cx = k.x + 29, cy = k.y + 29;
    dialTicks(cr, cx, cy, 30.5, 32.5, 34.5, 11);
    knobSocket(cr, cx, cy, 27.8);
    const double baseline = slot == kGateVolume ? cy + 44 : cy + 47;
    text(cr, std::string(k.label), cx, baseline, font(9, true), palette::text, Align::Centre);
  }
}

void weblinkPill(cairo_t* cr, const Area& a) {
  roundedRect(cr, a.x + 2.5, a.y + 3.5, a.width - 5, a.height - 6, (a.height - 6) / 2.0);
  setColour(cr, {0, 0, 0, 0.35});
  cairo_fill_preserve(cr);
  setColour(cr, {1, 1, 1, 0.10});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  text(cr, "plonkrift.example ↗", a.x + a.width / 2.0, a.y + 18.5, font(9), palette::accent, Align::Centre);
}

void drawFooter(cairo_t* cr, const Layout& layout, const std::string& leftText,
                const std::string& rightText) {
  cairo_move_to(cr, 10, 466.5);
  cairo_line_to(cr, 710, 466.5);
  setColour(cr, {0, 0, 0, 0.45});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  cairo_move_to(cr, 10, 467.5);
  cairo_line_to(cr, 710, 467.5);
  setColour(cr, {1, 1, 1, 0.05});
  cairo_stroke(cr);
  weblinkPill(cr, layout.webLink);
  text(cr, leftText, 16, 488, font(8, true, 1.0), palette::textDim);
  text(cr, rightText, 704, 488, font(8), palette::textDim, Align::Right);
}

}  // namespace

void drawBackground(cairo_t* cr, const Layout& layout) {
  panelBase(cr, kPanelWidth, kPanelHeight);
  drawGateSection(cr, layout);
  drawUnitSection(cr, layout, 1);
  drawUnitSection(cr, layout, 2);
  drawLfoSection(cr, layout, 1);
  drawLfoSection(cr, layout, 2);
  drawMixSection(cr, layout);
  drawFooter(cr, layout, "PLONKRIFT6 V2", "sixteen-step gate  ·  two filter-delay units  ·  two LFOs");
}

void drawInfoScreen(cairo_t* cr, const Layout& layout) {
  panelBase(cr, kPanelWidth, kPanelHeight);
  recessedWell(cr, 16, 14, 688, 446, 8);

  const Font big = font(30, true);
  const double w = textWidth(cr, "plonkrift", big);
  text(cr, "plonkrift", 48, 76, big, palette::title);
  glowText(cr, "6", 48 + w, 76, big, palette::accent, Align::Left, 3);
  text(cr, "v2", 48 + w + textWidth(cr, "6", big) + 6, 76, font(16, true), palette::textDim);
  text(cr, "Version 1   ·   made by plonkrift", 50, 100, font(11), palette::text);

  // The editor writes its version label here; keep a dark plate under it.
  const Area v = layout.versionLabelShown;
  roundedRect(cr, v.x - 10, v.y - 4, v.width + 20, v.height + 8, 6);
  setColour(cr, {0, 0, 0, 0.45});
  cairo_fill_preserve(cr);
  setColour(cr, {1, 1, 1, 0.08});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);

  cairo_move_to(cr, 48, 124.5);
  cairo_line_to(cr, 672, 124.5);
  setColour(cr, {1, 1, 1, 0.08});
  cairo_stroke(cr);

  const Font body = font(10);
  text(cr, "WHAT IT DOES", 48, 150, font(8, true, 1.4), palette::accent);
  const char* about[] = {
      "A sixteen-step gate, locked to the host's bars and beats, shapes the incoming signal.",
      "Two filter-and-delay units, FD1 and FD2, echo and filter the gated signal, and two",
      "LFOs sweep their cutoff and pan over whole bars. Gate, FD1 and FD2 are mixed to stereo.",
  };
  for (int i = 0; i < 3; ++i) text(cr, about[i], 48, 170 + i * 16, body, palette::text);

  text(cr, "HOW TO PLAY", 48, 240, font(8, true, 1.4), palette::accent);
  const std::string tips[] = {
      "Click a step to switch it on or off; keep the button down and sweep to paint more steps.",
      "A lit tie holds a step's level through the next step instead of letting it decay.",
      "Drag knobs up or down and sliders left or right: one pixel is one percent.",
      "With Delay Sync on, the delay snaps to " + spokenList(parameters::kSyncedDelays, fractionGlyph) +
          " when you let go of the slider.",
      "The LFO rate buttons set a cycle of " + spokenList(parameters::kPeriods) +
          ". The host must send its tempo.",
  };
  for (int i = 0; i < 5; ++i) {
    circle(cr, 52, 256 + i * 21, 2);
    setColour(cr, palette::accent);
    cairo_fill(cr);
    text(cr, tips[i], 62, 260 + i * 21, body, palette::text);
  }

  // At a glance, in the right column.
  const double gx = 548;
  cairo_move_to(cr, gx - 14.5, 138);
  cairo_line_to(cr, gx - 14.5, 350);
  setColour(cr, {1, 1, 1, 0.07});
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  text(cr, "AT A GLANCE", gx, 150, font(8, true, 1.4), palette::accent);
  const std::string periods = std::string(parameters::kPeriods[0].word()) + " to " +
                              std::string(std::end(parameters::kPeriods)[-1].label);
  const std::string facts[][2] = {
      {"16", "steps, each with a tie"},
      {"2", "filter-delay units"},
      {"2", "LFOs, " + periods},
      {"61", "parameters"},
      {"8", "programs"},
  };
  for (int i = 0; i < 5; ++i) {
    const double y = 176 + i * 34;
    text(cr, facts[i][0], gx, y, font(17, true), palette::title);
    text(cr, facts[i][1], gx, y + 13, font(8.5), palette::textDim);
  }
  // The artist's link area.
  const Area a = layout.artistLinkShown;
  softShadow(cr, a.x + 2, a.y + 2, a.width - 4, a.height - 4, 3, 0, 2, {0, 0, 0, 0.8},
             [=](cairo_t* c) { roundedRect(c, a.x + 2, a.y + 2, a.width - 4, a.height - 4, 6); });
  roundedRect(cr, a.x + 2, a.y + 2, a.width - 4, a.height - 4, 6);
  verticalGradient(cr, a.y, a.y + a.height, {0.20, 0.212, 0.23}, {0.13, 0.138, 0.15});
  cairo_fill(cr);
  roundedRect(cr, a.x + 2.5, a.y + 2.5, a.width - 5, a.height - 5, 5.5);
  setColour(cr, {1, 1, 1, 0.10});
  cairo_stroke(cr);
  text(cr, "ARTWORK AND PANEL DESIGN", a.x + a.width / 2.0, a.y + 19, font(7.5, true, 1.2), palette::textDim,
       Align::Centre);
  text(cr, "plonkrift.example/artwork ↗", a.x + a.width / 2.0, a.y + 36, font(11, true), palette::accent,
       Align::Centre);

  text(cr, "Click anywhere else to return to the controls.", 360, 452, font(8.5), palette::textDim,
       Align::Centre);
  drawFooter(cr, layout, "PLONKRIFT6 V2", "version 1");
}

// ---------------------------------------------------------------- rendering

Surface renderPicture(Picture picture, const Layout& layout) {
  const PictureEntry& entry = kPictures.at(picture);
  Surface surface = makeSurface(entry.width, entry.height);
  Context context = makeContext(surface);
  cairo_t* cr = context.get();
  const int frameWidth = entry.width / entry.frames;
  switch (picture) {
    case kBigKnobTop:
      filmStrip(cr, entry.frames, frameWidth, entry.height,
                [&](int k) { drawBigKnob(cr, knobDegrees(k, entry.frames)); });
      break;
    case kSmallKnobTop:
      filmStrip(cr, entry.frames, frameWidth, entry.height,
                [&](int k) { drawSmallKnob(cr, knobDegrees(k, entry.frames)); });
      break;
    case kSlider:
      filmStrip(cr, entry.frames, frameWidth, entry.height, [&](int k) { drawSlider(cr, sliderThumbX(k)); });
      break;
    case kBackground:
      drawBackground(cr, layout);
      break;
    case kInfoScreen:
      drawInfoScreen(cr, layout);
      break;
    case kStepOn:
      drawStepCell(cr, true, false);
      break;
    case kMainStepOn:
      drawStepCell(cr, true, true);
      break;
    case kTieOn:
      drawTie(cr, true);
      break;
    case kFilterLamp:
      drawLamp(cr, LampKind::Filter, true);
      break;
    case kOnOffLamp:
      drawLamp(cr, LampKind::OnOff, true);
      break;
    case kSwitch:
      drawSwitch(cr, true);
      break;
    case kBigKnobBottom:
      drawBigKnobBottom(cr);
      break;
    case kLfo1Sync:
    case kLfo2Sync:
      drawRatePad(cr, true);
      break;
    case kGateSwitch:
      drawGateSwitch(cr, true);
      break;
    default:
      throw std::logic_error("unknown picture");
  }
  cairo_surface_flush(surface.get());
  return surface;
}

}  // namespace artwork
