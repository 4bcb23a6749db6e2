#pragma once

// The window backend for an X11 desktop. Windows are real X11 windows, made
// as children of the window id a host hands to the editor.
//
// Threads: hosts call the editor from threads of their choosing, so the
// backend keeps one private Display connection per thread that makes
// windows. A window, its events and its pointer services live on the thread
// that made it; PumpEvents delivers only the calling thread's events. The
// connection opens with the thread's first window and closes with its last,
// so nothing survives an editor that was closed. Xlib's global state is left
// alone (no XInitThreads); the error handler is swapped in only around the
// backend's own calls and the host's handler is restored afterwards.

#include <memory>
#include <string>

#include "framework/window/Backend.h"

namespace framework {

// A new X11 backend for the display named (empty: $DISPLAY). Nothing is
// opened until the first window is made; CreateWindow raises EWindowError
// when the display cannot be reached or the parent window does not exist.
std::shared_ptr<TWindowBackend> MakeX11Backend(const std::string& display = {});

// Makes an X11 backend for $DISPLAY the current window backend (keeping the
// current one when it is already an X11 backend) and returns it. What the
// editor calls when a host opens it.
std::shared_ptr<TWindowBackend> UseX11Backend();

bool IsX11Backend(const TWindowBackend& backend);

}  // namespace framework
