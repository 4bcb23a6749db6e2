#pragma once

// The run-time services of the window layer: event pumping, timers, the
// exception handler, the pointer, message boxes and the shell.

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "framework/graphics/Types.h"
#include "framework/window/WindowTypes.h"

namespace framework {

// Runs everything that is due for the calling thread without blocking: the
// backend's pending input, the timers whose time has come (each at most once
// per call), the pending paints of the thread's windows, and the reaping of
// finished programs started by ShellOpen. Called from the editor's idle.
// Exceptions raised by handlers go to the exception handler, never out.
void PumpEvents();

// When the calling thread's next timer is due (backend clock), if any.
std::optional<std::uint64_t> NextTimerDue();

// Receives every exception that a handler run by the window layer raises.
// The default handler drops it: nothing at the host boundary may throw.
using TExceptionHandler = std::function<void(std::exception_ptr)>;
void SetExceptionHandler(TExceptionHandler handler);
// Passes the exception being handled to the handler (call inside catch).
void HandleException();

// The pointer in screen coordinates: Mouse.CursorPos() / SetCursorPos.
struct TMouse {
  TPoint CursorPos() const;
  void SetCursorPos(TPoint position) const;
};
inline constexpr TMouse Mouse{};

// Hides (false) or shows (true) the pointer. Calls nest: the pointer is shown
// while the count is 0 or more. Returns the new count.
int ShowCursor(bool show);
// Modifier keys and mouse buttons held now.
TShiftState KeyboardState();

// Shows text to the user without waiting for an answer.
void ShowMessage(const std::string& text);
// Opens an address with the desktop's opener without waiting. An empty
// address, or one the opener would read as an option (leading '-'), is
// refused: returns false.
bool ShellOpen(const std::string& url);

}  // namespace framework
