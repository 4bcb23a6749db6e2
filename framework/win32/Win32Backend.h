#pragma once

// The window system of Windows. Windows are real Win32 windows: WS_CHILD
// windows of the handle a host hands to the editor (popups for parent 0).
//
// Messages: the host's message loop calls our window procedure. It queues
// input and paint requests and posts itself a message that runs the system's
// Update, which delivers them; so the editor works whether or not the host
// sends effEditIdle, and no handler ever runs inside another. The
// framework's timers run from a Win32 timer on the thread's first window, set
// for the next one due (the editor's 50 ms refresh is a 50 ms SetTimer).
// WM_PAINT asks for the invalid rectangle only, and pictures reach the screen
// by SetDIBitsToDevice from their bottom-up 32-bit rows as they are. The
// background is never erased.
//
// Threads: a window, its messages and its timer belong to the thread that
// made it, as Windows has it. Another thread's calls never wait for that
// thread (showing and moving go through its queue), and a window destroyed
// from another thread is destroyed by its own thread if that thread takes
// the request within a moment, else left inert (the system's own procedure,
// no timer) for its thread to close whenever it takes messages again, so no
// code of the module runs for it after the host unloads the library.
//
// Input: a SetCursorPos (warp) moves the pointer at once. The capture is
// SetCapture, taken only while a button is held. A hidden pointer shows no
// cursor over our windows or while they hold the capture. The wheel goes to
// the host's window (DefWindowProc), as the X11 backend leaves it alone.
// There are no double clicks, as on X11. The keyboard focus is taken only
// when asked while a press is delivered (a click). ShellOpen is ShellExecuteW
// "open" and does not wait.
//
// The window class is registered with the first window and unregistered with
// the last, under a name that carries the module's address, so an unloaded
// library leaves no class behind and two copies never share one; a name
// left registered by an inert window of an unloaded copy is taken over once
// that window is gone.

#include <memory>

#include "framework/window/WindowSystem.h"

namespace framework {

std::shared_ptr<TWindowSystem> MakeWin32Backend();

bool IsWin32Backend(const TWindowSystem& system);

}  // namespace framework
