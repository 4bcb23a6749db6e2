// Creates one instance of the plug-in in a fresh process whose address space
// may grow by only the given number of bytes past what loading took. Exits 1
// when the entry returned a record, 0 when it declined, 2 on misuse. A fresh
// process matters: free memory a test left in the heap would feed the
// allocation without new address space.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "tools/hostkit/PluginHost.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const long headroom = std::atol(argv[1]);
  hostkit::PluginLibrary library(hostkit::defaultPluginPath());
  if (!library.ok()) return 2;
  hostkit::PluginHost host;
  host.calls();
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  statm >> pages;
  const rlim_t limit = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + headroom);
  const rlimit rl{limit, limit};
  setrlimit(RLIMIT_AS, &rl);
  AEffect* effect = host.create(library.entry());
  _exit(effect != nullptr ? 1 : 0);
}
