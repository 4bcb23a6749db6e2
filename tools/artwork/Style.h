// Shared look of the editor artwork: palette, fonts and the few drawing
// helpers every picture uses, so the pictures speak one visual language.
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>

namespace artwork {

struct Rgba {
  double r, g, b, a = 1.0;
};

// Colours are picked for a dark, slightly warm charcoal panel with one amber
// accent for everything that is lit.
namespace palette {
inline constexpr Rgba panelTop{0.180, 0.192, 0.208};
inline constexpr Rgba panelBottom{0.118, 0.126, 0.137};
inline constexpr Rgba wellTop{0.086, 0.092, 0.101};
inline constexpr Rgba wellBottom{0.112, 0.119, 0.130};
inline constexpr Rgba edgeLight{1.0, 1.0, 1.0, 0.07};
inline constexpr Rgba edgeDark{0.0, 0.0, 0.0, 0.55};
inline constexpr Rgba text{0.820, 0.835, 0.855};
inline constexpr Rgba textDim{0.520, 0.545, 0.575};
inline constexpr Rgba textFaint{0.330, 0.350, 0.375};
inline constexpr Rgba title{0.950, 0.955, 0.965};
inline constexpr Rgba accent{1.000, 0.640, 0.180};
inline constexpr Rgba accentHot{1.000, 0.860, 0.560};
inline constexpr Rgba accentDeep{0.820, 0.400, 0.040};
inline constexpr Rgba cool{0.620, 0.720, 0.820};
inline constexpr Rgba metalLight{0.400, 0.420, 0.447};
inline constexpr Rgba metalDark{0.110, 0.118, 0.130};
inline constexpr Rgba lcd{0.040, 0.044, 0.050};
inline constexpr Rgba pointer{0.960, 0.960, 0.950};
}  // namespace palette

// Owning handles for Cairo objects.
struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

Surface makeSurface(int width, int height);  // ARGB32, cleared to transparent
Context makeContext(const Surface& surface);

void setColour(cairo_t* cr, Rgba c);
void setColour(cairo_t* cr, Rgba c, double alpha);  // alpha multiplies c.a
Rgba mix(Rgba a, Rgba b, double t);

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
void verticalGradient(cairo_t* cr, double y0, double y1, Rgba top, Rgba bottom);

// Blurred silhouette: `shape` builds a path (which is filled) or strokes by
// itself; the result is blurred by `radius` pixels and painted in `colour`,
// moved by (dx, dy).
// `bx, by, bw, bh` bound the shape so only that area is blurred.
void softShadow(cairo_t* cr, double bx, double by, double bw, double bh, double radius, double dx, double dy,
                Rgba colour, const std::function<void(cairo_t*)>& shape);

// Brushed-metal grain over a rectangle: fine horizontal streaks, deterministic.
void brushedGrain(cairo_t* cr, int x, int y, int w, int h, double strength, unsigned seed);

// A recessed module area with inner shadow and a bright lower lip.
void recessedWell(cairo_t* cr, double x, double y, double w, double h, double r);

// Text in DejaVu Sans through Cairo's toy API.
enum class Align { Left, Centre, Right };
struct Font {
  double size = 9.0;
  bool bold = false;
  double tracking = 0.0;  // extra pixels after every character
};
double textWidth(cairo_t* cr, const std::string& utf8, Font font);
// Draws at the given baseline; an embossed text gets a faint dark line below.
void text(cairo_t* cr, const std::string& utf8, double x, double baseline, Font font, Rgba colour,
          Align align = Align::Left, bool embossed = true);
void glowText(cairo_t* cr, const std::string& utf8, double x, double baseline, Font font, Rgba colour,
              Align align, double glowRadius);

// Directions on a dial: 0 degrees points up, positive angles turn clockwise.
double dialX(double cx, double radius, double degrees);
double dialY(double cy, double radius, double degrees);
void dialArc(cairo_t* cr, double cx, double cy, double radius, double fromDegrees, double toDegrees);

}  // namespace artwork
