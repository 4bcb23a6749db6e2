// The fifteen pictures of the editor's image list and how to draw them.
#pragma once

#include <array>
#include <string_view>

#include "tools/artwork/Layout.h"
#include "tools/artwork/Style.h"

namespace artwork {

struct PictureEntry {
  Picture index;
  std::string_view file;  // stable output name, numbered by image-list index
  int width, height;
  int frames;   // film-strip frames side by side; 1 for a single picture
  bool masked;  // drawn through its alpha channel; unmasked pictures are fully opaque
};

inline constexpr std::array<PictureEntry, kPictureCount> kPictures{{
    {kBigKnobTop, "00-bigknobtop.png", 5900, 59, 100, true},
    {kSlider, "01-slider.png", 10000, 18, 100, true},
    {kBackground, "02-background.png", 720, 513, 1, true},
    {kStepOn, "03-stepon.png", 29, 42, 1, true},
    {kTieOn, "04-tieon.png", 29, 22, 1, true},
    {kFilterLamp, "05-filter.png", 36, 18, 1, false},
    {kOnOffLamp, "06-onoff.png", 36, 18, 1, false},
    {kSwitch, "07-switch.png", 17, 23, 1, false},
    {kBigKnobBottom, "08-bigknobbottom.png", 479, 22, 1, true},
    {kSmallKnobTop, "09-smallknobtop.png", 1026, 18, 57, true},
    {kLfo1Sync, "10-lfosync.png", 19, 18, 1, true},
    {kInfoScreen, "11-infoscreen.png", 720, 513, 1, false},
    {kMainStepOn, "12-mainstepon.png", 29, 42, 1, true},
    {kLfo2Sync, "13-rightlfo.png", 19, 18, 1, true},
    {kGateSwitch, "14-gateswitch.png", 38, 53, 1, false},
}};

// Pointer direction of strip frame `frame` of `frames`, in dial degrees:
// frame 0 (the lowest position) points to 7:30, the last frame to 4:30.
double knobDegrees(int frame, int frames);
// Centre of the slider thumb in frame `frame` of 100, in frame pixels.
double sliderThumbX(int frame);

// The background and the information screen are drawn around the layout's
// controls; the other pictures do not depend on it.
Surface renderPicture(Picture picture, const Layout& layout);

// The pieces, each drawn at the current origin. The background uses the same
// functions with `lit` false, so a lit picture sits exactly over its unlit look.
void drawBigKnob(cairo_t* cr, double degrees);
void drawSmallKnob(cairo_t* cr, double degrees);
void drawSlider(cairo_t* cr, double thumbX);
void drawStepCell(cairo_t* cr, bool lit, bool mainStep);
void drawTie(cairo_t* cr, bool lit);
enum class LampKind { OnOff, Filter };
void drawLamp(cairo_t* cr, LampKind kind, bool lit);
void drawSwitch(cairo_t* cr, bool on);
void drawRatePad(cairo_t* cr, bool lit);
void drawGateSwitch(cairo_t* cr, bool on);
void drawBigKnobBottom(cairo_t* cr);
void drawBackground(cairo_t* cr, const Layout& layout);
void drawInfoScreen(cairo_t* cr, const Layout& layout);

}  // namespace artwork
