# Where `cmake --install` puts the plug-in: the folders Linux VST 2 hosts scan.
#
#   cmake --install build                         system-wide: <prefix>/lib/vst (/usr/local/lib/vst)
#   cmake --install build --prefix /usr           /usr/lib/vst
#   cmake --install build --component vst-user    the user's own: ~/.vst
#
# PLONKRIFT_VST_INSTALL_DIR changes the system-wide folder (relative to the
# prefix, or absolute); PLONKRIFT_VST_USER_DIR changes the user's folder
# (empty: ~/.vst of whoever runs the install). DESTDIR stages both.

set(PLONKRIFT_VST_INSTALL_DIR "lib/vst" CACHE STRING
    "Folder for the system-wide plug-in install, relative to CMAKE_INSTALL_PREFIX or absolute")
set(PLONKRIFT_VST_USER_DIR "" CACHE STRING
    "Folder for the user install (component vst-user); empty means ~/.vst at install time")

install(TARGETS plonkrift6v2
        LIBRARY DESTINATION "${PLONKRIFT_VST_INSTALL_DIR}"
        COMPONENT vst)

# The user's folder is known only when the install runs (whose home?), so the
# copy is made by install-time code; it is left out of a plain install.
install(CODE "
  set(user_dir [[${PLONKRIFT_VST_USER_DIR}]])
  if(user_dir STREQUAL \"\")
    if(\"\$ENV{HOME}\" STREQUAL \"\")
      message(FATAL_ERROR \"HOME is not set: set PLONKRIFT_VST_USER_DIR for the user install\")
    endif()
    set(user_dir \"\$ENV{HOME}/.vst\")
  endif()
  file(INSTALL DESTINATION \"\$ENV{DESTDIR}\${user_dir}\" TYPE SHARED_LIBRARY
       FILES [[$<TARGET_FILE:plonkrift6v2>]])
  "
  COMPONENT vst-user
  EXCLUDE_FROM_ALL)
