# Where things are installed, known before the targets are defined: the tools
# compile in where the library lies relative to them.
include(GNUInstallDirs)

set(PLONKRIFT_VST_INSTALL_DIR "lib/vst" CACHE STRING
    "Folder for the system-wide plug-in install, relative to CMAKE_INSTALL_PREFIX or absolute")
set(PLONKRIFT_VST_USER_DIR "" CACHE STRING
    "Folder for the user install (component vst-user); empty means ~/.vst at install time")
set(PLONKRIFT_PRESET_INSTALL_DIR "${CMAKE_INSTALL_DATADIR}/${PROJECT_NAME}/presets")
option(PLONKRIFT_INSTALL_STRIP "Strip the installed library and tools of symbols and debug information" ON)
