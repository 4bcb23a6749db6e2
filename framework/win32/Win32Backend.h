#pragma once

// The window backend for Windows. Windows are real Win32 windows: WS_CHILD
// windows of the handle a host hands to the editor (popups for parent 0).
//
// Messages: the host's message loop calls our window procedure. It queues
// input and paint requests and posts itself a message that runs
// framework::PumpEvents, which delivers them; so the editor works whether or
// not the host sends effEditIdle, and no handler ever runs inside another.
// The framework's timers run from a Win32 timer on the thread's first window,
// set for the next one due (the editor's 50 ms refresh is a 50 ms SetTimer).
// WM_PAINT asks for the invalid rectangle only, and pictures reach the screen
// by SetDIBitsToDevice from their bottom-up 32-bit rows as they are. The
// background is never erased.
//
// Threads: a window, its messages and its timer belong to the thread that
// made it, as Windows has it; PumpEvents delivers the calling thread's
// events. A window destroyed from another thread is destroyed by its own
// thread at its next message.
//
// Input: queued pointer moves fold into the latest one. While an event is
// delivered, CursorPos and KeyboardState answer from it, and a SetCursorPos
// (warp) moves that answer too. The capture is SetCapture, taken only while a
// button is held and never kept past the last release. A hidden pointer shows
// no cursor over our windows or while they hold the capture. The wheel goes
// to the host's window (DefWindowProc), as the X11 backend leaves it alone.
// There are no double clicks, as on X11. The keyboard focus is taken only
// when asked while a press is delivered (a click).
//
// ShowMessage opens a small modeless window with the text and an OK button
// (asked from a thread without windows: at the next pump of a thread that has
// them); it goes with the last window of its thread. ShellOpen is
// ShellExecuteW "open". Neither waits for the user.
//
// The window classes are registered with the first window and unregistered
// with the last, under names that carry the module's address, so an unloaded
// library leaves no class behind and two copies never share one.

#include <memory>

#include "framework/window/Backend.h"

namespace framework {

std::shared_ptr<TWindowBackend> MakeWin32Backend();

// The backend for an editor opened into parent (see UseDesktopBackendFor):
// the chosen or current Win32 backend is kept; otherwise parent must be a
// window (IsWindow), and a Win32 backend is made current for it.
std::shared_ptr<TWindowBackend> UseWin32BackendFor(TWindowHandle parent);

bool IsWin32Backend(const TWindowBackend& backend);

}  // namespace framework
