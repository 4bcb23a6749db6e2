#pragma once

// Starting desktop programs from inside a host without ever waiting for them.

#include <cstddef>
#include <string>
#include <vector>

namespace framework {

// Starts argv[0] (searched in PATH) with the given arguments and returns at
// once; false when it could not be started. The child starts with no signal
// blocked and default signal actions. It is reaped later by ReapChildren.
bool SpawnDetached(const std::vector<std::string>& argv);
// Collects the children started by SpawnDetached that have finished; never
// waits and never touches other children of the process. A window system's
// Update calls it.
void ReapChildren();
// Children started and not yet reaped.
std::size_t PendingChildren();

// "xdg-open url", started as above; what a desktop backend's ShellOpen does.
bool OpenUrlWithDesktop(const std::string& url);

}  // namespace framework
