#pragma once

// The window backend of the desktop the library runs on: X11 on Linux, Win32
// on Windows. Each backend library defines this; code above the framework
// calls it and never names a window system.

#include <memory>

#include "framework/window/Backend.h"

namespace framework {

// The backend for an editor opened into parent, made current and returned:
// the backend chosen with SetWindowBackend (a test's, a tool's) or the
// desktop's backend already current is kept; otherwise parent must be a
// window of the desktop, and the desktop's backend is made current for it. A
// handle that is no such window raises EWindowError.
std::shared_ptr<TWindowBackend> UseDesktopBackendFor(TWindowHandle parent);

}  // namespace framework
