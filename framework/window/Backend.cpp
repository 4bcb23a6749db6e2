#include "framework/window/Backend.h"

#include <mutex>

#include "framework/window/Headless.h"

namespace framework {

namespace {
std::mutex gBackendMutex;
std::shared_ptr<TWindowBackend>& CurrentBackend() {
  static std::shared_ptr<TWindowBackend> backend;
  return backend;
}
bool gChosen = false;
}  // namespace

void SetWindowBackend(std::shared_ptr<TWindowBackend> backend) {
  std::lock_guard lock(gBackendMutex);
  gChosen = backend != nullptr;
  CurrentBackend() = std::move(backend);
}

bool WindowBackendChosen() {
  std::lock_guard lock(gBackendMutex);
  return gChosen;
}

std::shared_ptr<TWindowBackend> WindowBackendPtr() {
  std::lock_guard lock(gBackendMutex);
  auto& backend = CurrentBackend();
  if (!backend) backend = std::make_shared<THeadlessBackend>();
  return backend;
}

}  // namespace framework
