#pragma once

// The server's own count of clients and of one client's resources, through
// the X-Resource extension spoken directly (its client library is not on the
// build machines).

#include <map>
#include <string>

#include <X11/Xlib.h>

namespace plonktest {

// Clients connected to the server; -1 without the extension.
int ServerClients(Display* display);
// Resources of the client that owns anyResourceOfClient, by type name.
std::map<std::string, int> ClientResources(Display* display, XID anyResourceOfClient);

}  // namespace plonktest
