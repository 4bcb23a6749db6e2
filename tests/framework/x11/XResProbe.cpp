#include "tests/framework/x11/XResProbe.h"

#include <vector>

#include <X11/Xlibint.h>
#include <X11/extensions/XResproto.h>

namespace plonktest {

namespace {
int ResourceOpcode(Display* dpy) {
  int opcode = 0, event = 0, error = 0;
  return XQueryExtension(dpy, "X-Resource", &opcode, &event, &error) ? opcode : -1;
}
}  // namespace

int ServerClients(Display* dpy) {
  const int opcode = ResourceOpcode(dpy);
  if (opcode < 0) return -1;
  LockDisplay(dpy);
  xXResQueryClientsReq* req;
  GetReq(XResQueryClients, req);
  req->reqType = static_cast<CARD8>(opcode);
  req->XResReqType = X_XResQueryClients;
  xXResQueryClientsReply rep;
  int count = -1;
  if (_XReply(dpy, reinterpret_cast<xReply*>(&rep), 0, xFalse)) {
    count = static_cast<int>(rep.num_clients);
    _XEatDataWords(dpy, rep.length);
  }
  UnlockDisplay(dpy);
  SyncHandle();
  return count;
}

std::map<std::string, int> ClientResources(Display* dpy, XID anyResourceOfClient) {
  std::map<std::string, int> out;
  const int opcode = ResourceOpcode(dpy);
  if (opcode < 0) return out;
  std::vector<xXResType> types;
  LockDisplay(dpy);
  xXResQueryClientResourcesReq* req;
  GetReq(XResQueryClientResources, req);
  req->reqType = static_cast<CARD8>(opcode);
  req->XResReqType = X_XResQueryClientResources;
  req->xid = static_cast<CARD32>(anyResourceOfClient);
  xXResQueryClientResourcesReply rep;
  if (_XReply(dpy, reinterpret_cast<xReply*>(&rep), 0, xFalse)) {
    types.resize(rep.num_types);
    if (!types.empty())
      _XRead(dpy, reinterpret_cast<char*>(types.data()), static_cast<long>(types.size() * sz_xXResType));
  }
  UnlockDisplay(dpy);
  SyncHandle();
  for (const xXResType& t : types) {
    char* name = XGetAtomName(dpy, t.resource_type);
    out[name ? name : "?"] = static_cast<int>(t.count);
    if (name) XFree(name);
  }
  return out;
}

}  // namespace plonktest
