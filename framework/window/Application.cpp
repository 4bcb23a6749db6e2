#include "framework/window/Application.h"

#include <mutex>

namespace framework {

namespace {
std::mutex gMutex;
TExceptionHandler gExceptionHandler;
}  // namespace

void SetExceptionHandler(TExceptionHandler handler) {
  std::lock_guard lock(gMutex);
  gExceptionHandler = std::move(handler);
}

void HandleException() {
  TExceptionHandler handler;
  {
    std::lock_guard lock(gMutex);
    handler = gExceptionHandler;
  }
  if (!handler) return;
  try {
    handler(std::current_exception());
  } catch (...) {
    // The handler's own failure has nowhere to go.
  }
}

}  // namespace framework
