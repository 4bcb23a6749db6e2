#pragma once

// The window system of the desktop the library runs on: X11 on Linux, Win32
// on Windows. Each desktop backend library defines this; code above the
// framework calls it and never names a window system.

#include <memory>

#include "framework/window/WindowSystem.h"

namespace framework {

// A new window system of the desktop for windows inside parent, a window of
// that desktop; a handle that is no such window raises EWindowError. Each
// caller gets a system of its own.
std::shared_ptr<TWindowSystem> DesktopWindowSystemFor(TWindowHandle parent);

}  // namespace framework
