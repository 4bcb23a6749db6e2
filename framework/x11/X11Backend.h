#pragma once

// The window system of an X11 desktop. Windows are real X11 windows, made as
// children of the window id a host hands to the editor.
//
// Each system has one Display connection of its own, opened with its first
// window (or its first question about one) and closed with the system; its
// descriptor is the system's FileDescriptor, readable when the server has
// sent something. Xlib's global state is left alone (no XInitThreads): every
// call on the connection holds the system's lock, so windows may be destroyed
// from any thread; the error handler is swapped in only around the backend's
// own calls and the host's handler is restored afterwards. A lost server
// makes the windows inert; it never ends the process.
//
// Input: a SetCursorPos (warp) is accounted for in the events that follow,
// so a drag that holds the pointer in place counts every pixel of travel once
// (moves on both sides of a warp do not fold). The keyboard focus is taken
// only when asked while a press is delivered (a click); otherwise the host
// keeps it. ShellOpen starts xdg-open without waiting (reaped by Update).
//
// The backend's files: X11Connection.cpp (the connection and its errors),
// X11Pictures.cpp (shared-memory pictures), X11Window.cpp (windows),
// X11Input.cpp (events, pointer and keyboard), X11Backend.cpp (the system).

#include <memory>
#include <string>

#include "framework/window/WindowSystem.h"

namespace framework {

// A new X11 window system for the display named (empty: $DISPLAY). Nothing is
// opened until the first window is made; CreateWindow raises EWindowError
// when the display cannot be reached or the parent window does not exist.
std::shared_ptr<TWindowSystem> MakeX11Backend(const std::string& display = {});

bool IsX11Backend(const TWindowSystem& system);

}  // namespace framework
