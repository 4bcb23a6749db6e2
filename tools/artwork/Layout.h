// Where the editor's controls sit (container coordinates) and which picture
// each one shows, as the editor's text form places them. The background is
// drawn around these places, and the preview composes the pictures at them,
// so moving a control in the form moves what is drawn for it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "editor/FormLayout.h"
#include "plugin/Parameters.h"

namespace artwork {

inline constexpr int kPanelWidth = 720;
inline constexpr int kPanelHeight = 513;

// Picture indexes of the editor's image list.
enum Picture : int {
  kBigKnobTop = 0,
  kSlider = 1,
  kBackground = 2,
  kStepOn = 3,
  kTieOn = 4,
  kFilterLamp = 5,
  kOnOffLamp = 6,
  kSwitch = 7,
  kBigKnobBottom = 8,
  kSmallKnobTop = 9,
  kLfo1Sync = 10,
  kInfoScreen = 11,
  kMainStepOn = 12,
  kLfo2Sync = 13,
  kGateSwitch = 14,
  kPictureCount = 15,
};

// A knob or slider: a film strip whose frame follows a 0..100 position.
struct KnobPlace {
  std::string name;
  int slot;
  int x, y;
  int width, height;  // the control's size (a 59 x 59 volume frame shows 58 x 58)
  Picture picture;
  int frames;
  int opacity;
  std::string_view label;  // what the background writes beside it
};

// An image control that is lit (drawn) or unlit (transparent); the background
// shows its unlit look at the same place.
struct CellPlace {
  std::string name;
  int slot;
  int bars;  // a rate button's number of bars (its tag); 0 for the others
  int x, y;
  int width, height;  // shown size: an image of odd size is cut to even by auto-size
  Picture picture;
};

// Click areas without a picture of their own: the background (or the
// information screen) shows what they do.
struct Area {
  int x, y, width, height;
};

struct Layout {
  int windowWidth = 0, windowHeight = 0;
  std::vector<KnobPlace> knobs;                           // knobs and sliders, in creation order
  std::array<CellPlace, parameters::kSteps> steps, ties;  // step n and tie n at [n - 1]
  CellPlace gate;
  std::vector<CellPlace> toggles;      // switches and lamps, in creation order
  std::vector<CellPlace> rateButtons;  // in creation order
  Area infoClick, webLink;
  Area artistLinkShown;    // where the information screen puts the artist's link
  Area versionLabelShown;  // drawn by the editor over the information screen

  // Raise std::out_of_range for a control the form does not have.
  const KnobPlace& knob(int slot) const;
  const CellPlace& toggle(std::string_view name) const;
};

// The places of the form's controls. Raises std::runtime_error (or the
// form parser's error) for a form without a control the artwork draws for.
Layout layoutOf(const formlayout::Layout& form);
Layout readLayout(const std::string& formPath);

}  // namespace artwork
