#pragma once

#include <string>

namespace render {

// The plug-in library to load, looked for as a user of an installed renderer
// expects: the --plugin option, $PLONKRIFT_PLUGIN, the folders of
// $LXVST_PATH and $VST_PATH, ~/.vst, the installed folder, then the build
// tree. Answers false with a one-line reason when there is none.
bool FindPlugin(const std::string& option, std::string& path, std::string& error);

}  // namespace render
