# What `cmake --install` puts where. The plug-in goes to the folders Linux
# VST 2 hosts scan:
#
#   cmake --install build                         everything under the prefix (/usr/local):
#                                                 lib/vst, bin, share/plonkrift6/presets, share/doc/plonkrift6
#   cmake --install build --prefix /usr           the same under /usr
#   cmake --install build --component vst         only the plug-in
#   cmake --install build --component vst-user    only the plug-in, into the user's own ~/.vst
#
# PLONKRIFT_VST_INSTALL_DIR changes the system-wide folder (relative to the
# prefix, or absolute); PLONKRIFT_VST_USER_DIR changes the user's folder
# (empty: ~/.vst of whoever runs the install). DESTDIR stages all of them.
# Components: vst, tools, presets, docs (and vst-user, only when asked for).

# Symbols and debug information make the library six times its size and are
# of no use to a host; `--strip` is then not needed on every install.
if(PLONKRIFT_INSTALL_STRIP)
  install(CODE "if(NOT DEFINED CMAKE_INSTALL_DO_STRIP)\n  set(CMAKE_INSTALL_DO_STRIP 1)\nendif()" ALL_COMPONENTS)
endif()

install(TARGETS plonkrift6v2
        LIBRARY DESTINATION "${PLONKRIFT_VST_INSTALL_DIR}"
        COMPONENT vst)

# The tools users run. OPTIONAL: a tree where only the plug-in was built
# (`--target plonkrift6v2`) still installs it; the package check sees that
# every tool is in the package.
foreach(tool plonkrift-render plonkrift-shot plonkrift-plot)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tools OPTIONAL)
  endif()
endforeach()

# Whatever preset files the tree has when the install runs (none is no error).
install(DIRECTORY "${PROJECT_SOURCE_DIR}/presets/"
        DESTINATION "${PLONKRIFT_PRESET_INSTALL_DIR}"
        COMPONENT presets
        OPTIONAL
        PATTERN "CMakeLists.txt" EXCLUDE)

# Debian keeps a package's licence as /usr/share/doc/<package>/copyright.
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION "${CMAKE_INSTALL_DOCDIR}" RENAME copyright COMPONENT docs)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT docs)

# The user's own copy (~/.vst), left out of a plain install.
plonk_install_for_user(COMPONENT vst-user USER_DIR_VARIABLE PLONKRIFT_VST_USER_DIR HOME_FOLDER .vst
                       TARGETS plonkrift6v2)
