// Where the editor's controls sit (container coordinates) and which picture
// each one shows. The background is drawn around these places, and the preview
// composes the pictures at them, so the two can be checked against each other.
#pragma once

#include <array>
#include <string_view>

namespace artwork {

inline constexpr int kPanelWidth = 720;
inline constexpr int kPanelHeight = 513;
inline constexpr int kWindowWidth = 719;
inline constexpr int kWindowHeight = 512;

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
  std::string_view name;
  int tag;  // parameter index
  int x, y;
  int width, height;  // the control's size (a 59 x 59 volume frame shows 58 x 58)
  Picture picture;
  int frames;
  int opacity;
  std::string_view label;
};

inline constexpr std::array<KnobPlace, 20> kKnobs{{
    {"attack", 34, 604, 55, 18, 18, kSmallKnobTop, 57, 200, "Attack"},
    {"decay", 35, 604, 84, 18, 18, kSmallKnobTop, 57, 200, "Decay"},
    {"shuffle", 36, 604, 112, 18, 18, kSmallKnobTop, 57, 200, "Shuffle"},
    {"fd1delay", 44, 95, 207, 100, 18, kSlider, 100, 255, "Delay"},
    {"fd1feedback", 45, 95, 232, 100, 18, kSlider, 100, 255, "Feedback"},
    {"fd1cutoff", 41, 95, 257, 100, 18, kSlider, 100, 255, "Cutoff"},
    {"fd1reso", 42, 95, 282, 100, 18, kSlider, 100, 255, "Reso"},
    {"fd1pan", 46, 95, 307, 100, 18, kSlider, 100, 255, "Pan"},
    {"fd2delay", 54, 522, 207, 100, 18, kSlider, 100, 255, "Delay"},
    {"fd2feedback", 55, 522, 232, 100, 18, kSlider, 100, 255, "Feedback"},
    {"fd2cutoff", 51, 522, 257, 100, 18, kSlider, 100, 255, "Cutoff"},
    {"fd2reso", 52, 522, 282, 100, 18, kSlider, 100, 255, "Reso"},
    {"fd2pan", 56, 522, 307, 100, 18, kSlider, 100, 255, "Pan"},
    {"lfo2cutoffdepth", 58, 529, 411, 100, 18, kSlider, 100, 255, "LFO→Cutoff"},
    {"lfo2pandepth", 59, 528, 438, 100, 18, kSlider, 100, 255, "LFO→Pan"},
    {"lfo1cutoffdepth", 48, 92, 411, 100, 18, kSlider, 100, 255, "LFO→Cutoff"},
    {"lfo1pandepth", 49, 91, 438, 100, 18, kSlider, 100, 255, "LFO→Pan"},
    {"mainvolume", 37, 330, 298, 58, 58, kBigKnobTop, 100, 255, "Gate Volume"},
    {"fd1volume", 38, 278, 371, 58, 58, kBigKnobTop, 100, 255, "FD1 Volume"},
    {"fd2volume", 39, 384, 371, 58, 58, kBigKnobTop, 100, 255, "FD2 Volume"},
}};

// An image control that is lit (drawn) or unlit (transparent); the background
// shows its unlit look at the same place.
struct CellPlace {
  std::string_view name;
  int tag;
  int x, y;
  int width, height;  // shown size: an image of odd size is cut to even by auto-size
  Picture picture;
};

inline constexpr int kSteps = 16;
constexpr int stepX(int n) { return 87 + 30 * (n - 1); }
inline constexpr int kStepY = 71;
constexpr int tieX(int n) { return 100 + 30 * (n - 1); }
inline constexpr int kTieY = 47;
constexpr bool isMainStep(int n) { return n == 1 || n == 5 || n == 9 || n == 13; }

inline constexpr CellPlace kGatePlace{"gateon", 33, 40, 73, 38, 52, kGateSwitch};

inline constexpr std::array<CellPlace, 12> kToggles{{
    {"fd1enableled", 40, 201, 167, 36, 18, kOnOffLamp},
    {"fd1enable", 40, 243, 164, 16, 22, kSwitch},
    {"fd2enableled", 50, 481, 168, 36, 18, kOnOffLamp},
    {"fd2enable", 50, 456, 166, 16, 22, kSwitch},
    {"fd2delaysync", 57, 488, 220, 16, 22, kSwitch},
    {"fd1delaysync", 47, 210, 220, 16, 22, kSwitch},
    {"fd2filtertype", 53, 488, 299, 16, 22, kSwitch},
    {"fd1filtertype", 43, 211, 298, 16, 22, kSwitch},
    {"fd2delaysyncled", 57, 432, 221, 36, 18, kOnOffLamp},
    {"fd1delaysyncled", 47, 251, 221, 36, 18, kOnOffLamp},
    {"fd1filtertypeled", 43, 211, 273, 36, 18, kFilterLamp},
    {"fd2filtertypeled", 53, 469, 273, 36, 18, kFilterLamp},
}};

// LFO rate buttons: tag is the number of bars.
inline constexpr std::array<CellPlace, 8> kRateButtons{{
    {"lfo1sync1", 1, 174, 347, 18, 18, kLfo1Sync},
    {"lfo1sync2", 2, 194, 347, 18, 18, kLfo1Sync},
    {"lfo1sync3", 4, 214, 347, 18, 18, kLfo1Sync},
    {"lfo1sync4", 8, 233, 347, 18, 18, kLfo1Sync},
    {"lfo2sync1", 1, 502, 347, 18, 18, kLfo2Sync},
    {"lfo2sync2", 2, 522, 347, 18, 18, kLfo2Sync},
    {"lfo2sync3", 4, 542, 347, 18, 18, kLfo2Sync},
    {"lfo2sync4", 8, 562, 347, 18, 18, kLfo2Sync},
}};

// Click areas without a picture of their own: the background (or the
// information screen) shows what they do.
struct Area {
  int x, y, width, height;
};
inline constexpr Area kInfoClick{44, 24, 36, 29};
inline constexpr Area kWebLink{295, 469, 128, 30};
inline constexpr Area kArtistLinkShown{200, 392, 337, 49};  // where the information screen puts it
inline constexpr Area kVersionLabelShown{568, 30, 80, 20};  // drawn by the editor over the information screen

}  // namespace artwork
