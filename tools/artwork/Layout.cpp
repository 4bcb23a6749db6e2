#include "tools/artwork/Layout.h"

#include <stdexcept>

#include "editor/InfoScreenPlaces.h"

namespace artwork {

namespace {

using namespace parameters;

// The caption the background writes beside a knob or slider.
std::string_view knobLabel(int slot) {
  switch (slot) {
    case kGateAttack:
      return "Attack";
    case kGateDecay:
      return "Decay";
    case kGateShuffle:
      return "Shuffle";
    case kGateVolume:
      return "Gate Volume";
    case kFd1Volume:
      return "FD1 Volume";
    case kFd2Volume:
      return "FD2 Volume";
    case kFd1DelayTime:
    case kFd2DelayTime:
      return "Delay";
    case kFd1Feedback:
    case kFd2Feedback:
      return "Feedback";
    case kFd1Cutoff:
    case kFd2Cutoff:
      return "Cutoff";
    case kFd1Reso:
    case kFd2Reso:
      return "Reso";
    case kFd1Pan:
    case kFd2Pan:
      return "Pan";
    case kFd1LfoCutoff:
    case kFd2LfoCutoff:
      return "LFO→Cutoff";
    case kFd1LfoPan:
    case kFd2LfoPan:
      return "LFO→Pan";
    default:
      return "";
  }
}

Picture pictureOf(const formlayout::Component& c) {
  if (c.picture < 0 || c.picture >= kPictureCount)
    throw std::runtime_error(c.name + " shows no picture of the image list");
  return static_cast<Picture>(c.picture);
}

const ControlBinding& bindingOf(const formlayout::Component& c) {
  if (const ControlBinding* b = controlBinding(c.name)) return *b;
  throw std::runtime_error(c.name + " shows no parameter");
}

CellPlace cellOf(const formlayout::Component& c) {
  const ControlBinding& b = bindingOf(c);
  return CellPlace{c.name,   b.slot,      b.tag != b.slot ? b.tag : 0, c.left, c.top, c.width,
                   c.height, pictureOf(c)};
}

Area areaOf(const formlayout::Component& c) {
  return Area{c.left, c.top, c.width, c.height};
}

}  // namespace

const KnobPlace& Layout::knob(int slot) const {
  for (const KnobPlace& k : knobs)
    if (k.slot == slot) return k;
  throw std::out_of_range("no knob shows slot " + std::to_string(slot));
}

const CellPlace& Layout::toggle(std::string_view name) const {
  for (const CellPlace& c : toggles)
    if (c.name == name) return c;
  throw std::out_of_range("no switch or lamp " + std::string(name));
}

Layout layoutOf(const formlayout::Layout& form) {
  Layout layout;
  layout.windowWidth = form.clientWidth;
  layout.windowHeight = form.clientHeight;
  for (const formlayout::Component& c : form.components) {
    if (c.className == "TDIBKnob" && controlBinding(c.name) != nullptr) {
      const int slot = bindingOf(c).slot;
      layout.knobs.push_back(KnobPlace{c.name, slot, c.left, c.top, c.width, c.height, pictureOf(c), c.frames,
                                       c.opacity, knobLabel(slot)});
    } else if (c.className == "TDIBImage" && controlBinding(c.name) != nullptr) {
      const Picture picture = pictureOf(c);
      if (picture == kSwitch || picture == kOnOffLamp || picture == kFilterLamp)
        layout.toggles.push_back(cellOf(c));
      if (picture == kLfo1Sync || picture == kLfo2Sync) layout.rateButtons.push_back(cellOf(c));
    }
  }
  for (int n = 1; n <= kSteps; ++n) {
    layout.steps[n - 1] = cellOf(form.at("step" + std::to_string(n)));
    layout.ties[n - 1] = cellOf(form.at("tie" + std::to_string(n)));
  }
  layout.gate = cellOf(form.at("gateon"));
  layout.infoClick = areaOf(form.at("infoclick"));
  layout.webLink = areaOf(form.at("weblink"));
  layout.artistLinkShown = areaOf(form.at("tobrelclick"));
  layout.artistLinkShown.y = infoplaces::kArtistLinkShownTop;
  layout.versionLabelShown = areaOf(form.at("version"));
  layout.versionLabelShown.y = infoplaces::kVersionShownTop;
  return layout;
}

Layout readLayout(const std::string& formPath) {
  return layoutOf(formlayout::ReadLayoutFile(formPath));
}

}  // namespace artwork
