#pragma once

// Where the information screen's handlers move its parts (container rows).
// The form keeps them below the window; the artwork draws the shown screen
// around the places given here.
namespace infoplaces {

inline constexpr int kShownTop = 0;  // the screen then covers the window
inline constexpr int kArtistLinkShownTop = 392;
inline constexpr int kVersionShownTop = 30;
inline constexpr int kHiddenTop = 600;  // the screen and the artist's link
inline constexpr int kVersionHiddenTop = 630;

}  // namespace infoplaces
