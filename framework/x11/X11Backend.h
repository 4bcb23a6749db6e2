#pragma once

// The window backend for an X11 desktop. Windows are real X11 windows, made
// as children of the window id a host hands to the editor.
//
// Threads: hosts call the editor from threads of their choosing, so the
// backend keeps one private Display connection per thread that makes
// windows. A window, its events and its pointer services live on the thread
// that made it; PumpEvents delivers only the calling thread's events. The
// connection opens with the thread's first window and closes with its last
// (with any message still shown), so nothing survives an editor that was
// closed. Xlib's global state is left alone (no XInitThreads); the error
// handler is swapped in only around the backend's own calls and the host's
// handler is restored afterwards. A lost server makes the windows inert; it
// never ends the process.
//
// Input: queued pointer moves fold into the latest one per pump. While an
// event is delivered, CursorPos and KeyboardState answer from it; a
// SetCursorPos (warp) is accounted for in the events that follow, so a drag
// that holds the pointer in place counts every pixel of travel once. The
// keyboard focus is taken only when asked while a press is delivered (a
// click); otherwise the host keeps it.
//
// ShowMessage opens a small window with the text and an OK area at once, or,
// asked from a thread without windows, at the next pump of a thread that has
// them. ShellOpen starts xdg-open without waiting (reaped by PumpEvents).

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

// The backend for an editor opened into parent, made current and returned:
// the backend chosen with SetWindowBackend (a test's, a tool's) or an X11
// backend already current is kept; otherwise parent must be a window of the
// X display ($DISPLAY), and an X11 backend is made current for it. A handle
// that is no such window raises EWindowError. What the editor calls on open,
// before making its window.
std::shared_ptr<TWindowBackend> UseX11BackendFor(TWindowHandle parent);

// Whether window is a window of the X display named (empty: $DISPLAY); false
// when the display cannot be reached. Asks on a connection of its own.
bool IsX11Window(TWindowHandle window, const std::string& display = {});

bool IsX11Backend(const TWindowBackend& backend);

}  // namespace framework
