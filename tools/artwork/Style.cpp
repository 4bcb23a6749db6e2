#include "tools/artwork/Style.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace artwork {

Surface makeSurface(int width, int height) {
  Surface s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("cannot create a picture surface");
  return s;
}

Context makeContext(const Surface& surface) {
  Context c(cairo_create(surface.get()));
  if (cairo_status(c.get()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("cannot create a drawing context");
  return c;
}

void setColour(cairo_t* cr, Rgba c) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void setColour(cairo_t* cr, Rgba c, double alpha) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a * alpha);
}

Rgba mix(Rgba a, Rgba b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min({r, w / 2, h / 2});
  const double pi = std::numbers::pi;
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -pi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, pi / 2);
  cairo_arc(cr, x + r, y + h - r, r, pi / 2, pi);
  cairo_arc(cr, x + r, y + r, r, pi, 3 * pi / 2);
  cairo_close_path(cr);
}

void verticalGradient(cairo_t* cr, double y0, double y1, Rgba top, Rgba bottom) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
  cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

namespace {

// Three box passes approximate a Gaussian well enough for shadows.
void boxBlurA8(std::vector<double>& a, int w, int h, int radius) {
  if (radius <= 0) return;
  std::vector<double> tmp(a.size());
  const double norm = 1.0 / (2 * radius + 1);
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        double sum = 0;
        for (int k = -radius; k <= radius; ++k) {
          const int xx = x + k;
          if (xx >= 0 && xx < w) sum += a[y * w + xx];
        }
        tmp[y * w + x] = sum * norm;
      }
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        double sum = 0;
        for (int k = -radius; k <= radius; ++k) {
          const int yy = y + k;
          if (yy >= 0 && yy < h) sum += tmp[yy * w + x];
        }
        a[y * w + x] = sum * norm;
      }
    }
  }
}

}  // namespace

void softShadow(cairo_t* cr, double bx, double by, double bw, double bh, double radius, double dx, double dy,
                Rgba colour, const std::function<void(cairo_t*)>& shape) {
  const int r = std::max(1, static_cast<int>(std::lround(radius / 1.7)));  // per-pass box radius
  const int pad = 3 * r + 2;
  const int ox = static_cast<int>(std::floor(bx)) - pad;
  const int oy = static_cast<int>(std::floor(by)) - pad;
  const int w = static_cast<int>(std::ceil(bw)) + 2 * pad + 1;
  const int h = static_cast<int>(std::ceil(bh)) + 2 * pad + 1;

  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  {
    cairo_t* m = cairo_create(mask);
    cairo_translate(m, -ox, -oy);
    cairo_set_source_rgba(m, 0, 0, 0, 1);
    shape(m);  // builds a path to fill, or strokes by itself
    cairo_fill(m);
    cairo_destroy(m);
  }
  cairo_surface_flush(mask);
  unsigned char* data = cairo_image_surface_get_data(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  std::vector<double> a(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) a[y * w + x] = data[y * stride + x];
  boxBlurA8(a, w, h, r);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      data[y * stride + x] = static_cast<unsigned char>(std::clamp(std::lround(a[y * w + x]), 0L, 255L));
  cairo_surface_mark_dirty(mask);

  cairo_save(cr);
  setColour(cr, colour);
  cairo_mask_surface(cr, mask, ox + dx, oy + dy);
  cairo_restore(cr);
  cairo_surface_destroy(mask);
}

void brushedGrain(cairo_t* cr, int x, int y, int w, int h, double strength, unsigned seed) {
  // A small linear congruential generator keeps the grain identical on every
  // machine, so builds produce the same pictures.
  std::uint32_t state = seed * 2654435761u + 12345u;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 24) - 0.5;
  };
  Surface grain = makeSurface(w, h);
  cairo_surface_flush(grain.get());
  unsigned char* data = cairo_image_surface_get_data(grain.get());
  const int stride = cairo_image_surface_get_stride(grain.get());
  for (int row = 0; row < h; ++row) {
    const double rowTone = next() * 0.6;
    double streak = next();
    for (int col = 0; col < w; ++col) {
      streak = streak * 0.96 + next() * 0.04 * 6.0;
      const double v = std::clamp(rowTone + streak * 0.8 + next() * 0.25, -1.0, 1.0) * strength;
      // Premultiplied pixel: white above zero, black below.
      const double alpha = std::fabs(v);
      const auto a = static_cast<std::uint32_t>(std::lround(alpha * 255));
      const std::uint32_t c = v > 0 ? a : 0;
      auto* px = reinterpret_cast<std::uint32_t*>(data + row * stride) + col;
      *px = (a << 24) | (c << 16) | (c << 8) | c;
    }
  }
  cairo_surface_mark_dirty(grain.get());
  cairo_save(cr);
  cairo_set_source_surface(cr, grain.get(), x, y);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
  cairo_restore(cr);
}

void recessedWell(cairo_t* cr, double x, double y, double w, double h, double r) {
  // Lower lip catches the light, the upper edge falls into shadow.
  cairo_save(cr);
  roundedRect(cr, x - 0.5, y - 0.5, w + 1, h + 1.5, r + 0.5);
  setColour(cr, palette::edgeLight, 1.4);
  cairo_fill(cr);
  roundedRect(cr, x, y, w, h, r);
  verticalGradient(cr, y, y + h, palette::wellTop, palette::wellBottom);
  cairo_fill_preserve(cr);
  cairo_clip(cr);
  brushedGrain(cr, static_cast<int>(x), static_cast<int>(y), static_cast<int>(w) + 1, static_cast<int>(h) + 1,
               0.025, static_cast<unsigned>(x * 7 + y * 13));
  // Inner shadow: a blurred frame around the well, clipped to it.
  softShadow(cr, x - 8, y - 8, w + 16, h + 16, 5, 0, 2, {0, 0, 0, 0.75}, [=](cairo_t* c) {
    cairo_rectangle(c, x - 8, y - 8, w + 16, h + 16);
    roundedRect(c, x, y, w, h, r);
    cairo_set_fill_rule(c, CAIRO_FILL_RULE_EVEN_ODD);
  });
  cairo_restore(cr);
}

namespace {

std::vector<std::string> splitUtf8(const std::string& s) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

void selectFont(cairo_t* cr, Font font) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, font.size);
  cairo_font_options_t* o = cairo_font_options_create();
  cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, o);
  cairo_font_options_destroy(o);
}

void showTracked(cairo_t* cr, const std::string& utf8, double x, double baseline, double tracking) {
  if (tracking == 0.0) {
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, utf8.c_str());
    return;
  }
  for (const std::string& ch : splitUtf8(utf8)) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, ch.c_str(), &e);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, ch.c_str());
    x += e.x_advance + tracking;
  }
}

double alignedX(cairo_t* cr, const std::string& utf8, double x, Font font, Align align) {
  const double w = textWidth(cr, utf8, font);
  return align == Align::Left ? x : align == Align::Centre ? x - w / 2 : x - w;
}

}  // namespace

double textWidth(cairo_t* cr, const std::string& utf8, Font font) {
  cairo_save(cr);
  selectFont(cr, font);
  double w = 0;
  const auto chars = splitUtf8(utf8);
  if (font.tracking == 0.0) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, utf8.c_str(), &e);
    w = e.x_advance;
  } else {
    for (const std::string& ch : chars) {
      cairo_text_extents_t e;
      cairo_text_extents(cr, ch.c_str(), &e);
      w += e.x_advance + font.tracking;
    }
    if (!chars.empty()) w -= font.tracking;
  }
  cairo_restore(cr);
  return w;
}

void text(cairo_t* cr, const std::string& utf8, double x, double baseline, Font font, Rgba colour,
          Align align, bool embossed) {
  cairo_save(cr);
  const double left = alignedX(cr, utf8, x, font, align);
  selectFont(cr, font);
  if (embossed) {
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55 * colour.a);
    showTracked(cr, utf8, left, baseline + 1, font.tracking);
  }
  setColour(cr, colour);
  showTracked(cr, utf8, left, baseline, font.tracking);
  cairo_restore(cr);
}

void glowText(cairo_t* cr, const std::string& utf8, double x, double baseline, Font font, Rgba colour,
              Align align, double glowRadius) {
  const double left = alignedX(cr, utf8, x, font, align);
  const double w = textWidth(cr, utf8, font);
  softShadow(cr, left, baseline - font.size, w, font.size * 1.3, glowRadius, 0, 0,
             {colour.r, colour.g, colour.b, 0.8}, [&](cairo_t* c) {
               selectFont(c, font);
               cairo_move_to(c, left, baseline);
               cairo_text_path(c, utf8.c_str());
             });
  text(cr, utf8, x, baseline, font, colour, align, false);
}

double dialX(double cx, double radius, double degrees) {
  return cx + radius * std::sin(degrees * std::numbers::pi / 180);
}

double dialY(double cy, double radius, double degrees) {
  return cy - radius * std::cos(degrees * std::numbers::pi / 180);
}

void dialArc(cairo_t* cr, double cx, double cy, double radius, double fromDegrees, double toDegrees) {
  // Dial degrees are clockwise from 12 o'clock; Cairo's are clockwise from 3 o'clock.
  const double k = std::numbers::pi / 180;
  cairo_new_sub_path(cr);
  cairo_arc(cr, cx, cy, radius, (fromDegrees - 90) * k, (toDegrees - 90) * k);
}

}  // namespace artwork
