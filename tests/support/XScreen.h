#pragma once

// Editor tests on a real X server: reading a window's pixels, playing the
// user with XTest, and finding windows in the tree. Include after every
// other header: Xlib's macros (None, Bool, Status) break C++ headers.

#include <functional>
#include <string>
#include <vector>

#include "tests/support/EditorPictures.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace plonktest {

// A region of a window as 0xRRGGBB, top row first; empty when it cannot be
// read.
inline Picture Grab(Display* x, Window window, int left, int top, int width, int height) {
  Picture out;
  XImage* image = XGetImage(x, window, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
  if (image == nullptr) return out;
  out.reserve(static_cast<std::size_t>(width) * height);
  for (int row = 0; row < height; ++row)
    for (int col = 0; col < width; ++col)
      out.push_back(static_cast<std::uint32_t>(XGetPixel(image, col, row)) & 0xFFFFFF);
  XDestroyImage(image);
  return out;
}

// A left click at a point of the screen.
inline void Click(Display* x, int screenX, int screenY) {
  XTestFakeMotionEvent(x, 0, screenX, screenY, CurrentTime);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  XFlush(x);
}

inline void Key(Display* x, KeySym key) {
  const KeyCode code = XKeysymToKeycode(x, key);
  XTestFakeKeyEvent(x, code, True, CurrentTime);
  XTestFakeKeyEvent(x, code, False, CurrentTime);
  XFlush(x);
}

// Typed text: lower-case letters and digits.
inline void Type(Display* x, const std::string& text) {
  for (char c : text) Key(x, static_cast<KeySym>(c));
}

inline std::vector<Window> Children(Display* x, Window window) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  std::vector<Window> out;
  if (XQueryTree(x, window, &root, &parent, &children, &count) != 0 && children != nullptr) {
    out.assign(children, children + count);
    XFree(children);
  }
  return out;
}

inline Window ParentOf(Display* x, Window window) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(x, window, &root, &parent, &children, &count) == 0) return 0;
  if (children != nullptr) XFree(children);
  return parent;
}

inline std::string NameOf(Display* x, Window window) {
  char* name = nullptr;
  std::string out;
  if (XFetchName(x, window, &name) != 0 && name != nullptr) {
    out = name;
    XFree(name);
  }
  return out;
}

// The windows below window (depth first, parents before children) that
// match.
inline void Descendants(Display* x, Window window, const std::function<bool(Window)>& match,
                        std::vector<Window>& found) {
  for (Window child : Children(x, window)) {
    if (match(child)) found.push_back(child);
    Descendants(x, child, match, found);
  }
}

inline bool Viewable(Display* x, Window window, int width, int height) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(x, window, &attributes) != 0 && attributes.map_state == IsViewable &&
         attributes.width == width && attributes.height == height;
}

// Where the window's top-left corner is on the screen.
inline Point ScreenOrigin(Display* x, Window window) {
  int sx = 0, sy = 0;
  Window child = 0;
  XTranslateCoordinates(x, window, DefaultRootWindow(x), 0, 0, &sx, &sy, &child);
  return {sx, sy};
}

}  // namespace plonktest
