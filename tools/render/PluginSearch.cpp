#include "tools/render/PluginSearch.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "tools/hostkit/PluginHost.h"

namespace render {

namespace {

constexpr const char* kLibraryName = "plonkrift6v2.so";

bool IsFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string Home() {
  std::string home = Environment("HOME");
  if (home.empty()) {
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
      home = entry->pw_dir;
  }
  return home;
}

}  // namespace

bool FindPlugin(const std::string& option, std::string& path, std::string& error) {
  if (!option.empty()) return path = option, true;
  // A library named on purpose is used or refused, never passed over.
  if (const std::string named = Environment("PLONKRIFT_PLUGIN"); !named.empty()) {
    if (!IsFile(named)) return error = "PLONKRIFT_PLUGIN names no file: '" + named + "'", false;
    return path = named, true;
  }
  std::vector<std::string> folders;
  for (const char* variable : {"LXVST_PATH", "VST_PATH"}) {
    const std::string list = Environment(variable);
    for (std::size_t begin = 0; begin <= list.size();) {
      const std::size_t end = std::min(list.find(':', begin), list.size());
      if (end > begin) folders.push_back(list.substr(begin, end - begin));
      begin = end + 1;
    }
  }
  if (const std::string home = Home(); !home.empty()) folders.push_back(home + "/.vst");
#ifdef PLONKRIFT_VST_DIR
  folders.push_back(PLONKRIFT_VST_DIR);
#endif
  for (const std::string& folder : folders) {
    const std::string candidate = folder + (folder.back() == '/' ? "" : "/") + kLibraryName;
    if (IsFile(candidate)) return path = candidate, true;
  }
  const std::string built = hostkit::defaultPluginPath();
  if (IsFile(built)) return path = built, true;
  std::string places = "$LXVST_PATH, $VST_PATH, ~/.vst";
#ifdef PLONKRIFT_VST_DIR
  places += std::string(", ") + PLONKRIFT_VST_DIR;
#endif
  return error = std::string("no ") + kLibraryName + " found in " + places +
                 " or the build tree: give --plugin PATH or set PLONKRIFT_PLUGIN",
         false;
}

}  // namespace render
