#pragma once

// Where the exceptions of the window layer's handlers go. Handlers run from a
// window system's Update (WindowSystem.h), the controls' own calls and the
// timers; nothing they raise may reach the host.

#include <exception>
#include <functional>

namespace framework {

// Receives every exception that a handler run by the window layer raises.
// The default handler drops it: nothing at the host boundary may throw.
using TExceptionHandler = std::function<void(std::exception_ptr)>;
void SetExceptionHandler(TExceptionHandler handler);
// Passes the exception being handled to the handler (call inside catch).
void HandleException();

}  // namespace framework
