# A Debian package of the install (`cpack` in a build folder): /usr/lib/vst,
# /usr/lib/vst3, /usr/lib/lv2, /usr/bin, /usr/share/plonkrift6/presets, /usr/share/doc/plonkrift6.
set(PLONKRIFT_PACKAGE_MAINTAINER "The plonkrift6 developers <plonkrift6@example.org>" CACHE STRING
    "Maintainer field of the Debian package (name <address>)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The plonkrift6 developers")
set(CPACK_PACKAGE_CONTACT "${PLONKRIFT_PACKAGE_MAINTAINER}")
# The LV2 bundle is in the package when the build made it (lv2-dev installed).
if(TARGET plonkrift6_lv2)
  set(formats "VST 2, VST3 and LV2 effect")
  set(plugins "as a VST 2 plug-in (/usr/lib/vst), a VST3\nbundle (/usr/lib/vst3) and an LV2 bundle (/usr/lib/lv2)")
else()
  set(formats "VST 2 and VST3 effect")
  set(plugins "as a VST 2 plug-in (/usr/lib/vst) and a VST3\nbundle (/usr/lib/vst3)")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tempo-synced step gate with two filter-delay units (${formats})")
set(CPACK_PACKAGE_DESCRIPTION
    "A stereo audio effect for Linux hosts, ${plugins}. A sixteen-step gate
locked to the host's bar shapes the mono sum of the input; two delay units with
resonant low- or high-pass filters echo it into the stereo field, their cutoff
and pan moved by two bar-synced LFOs. Includes plonkrift-render (plays audio
through the plug-in as a host does), plonkrift-shot (pictures of its editor)
and plonkrift-plot (a render's input and output on the song's grid).")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# Packages are stripped even when PLONKRIFT_INSTALL_STRIP is off.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLONKRIFT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The plot's labels and the editor's text are drawn in DejaVu Sans.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
# Dependencies as the libraries' own packages declare them; without
# dpkg-shlibdeps (not a Debian system) the package names none.
find_program(PLONKRIFT_DPKG_SHLIBDEPS dpkg-shlibdeps)
mark_as_advanced(PLONKRIFT_DPKG_SHLIBDEPS)
if(PLONKRIFT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  message(STATUS "dpkg-shlibdeps not found: the Debian package will declare no dependencies")
endif()

include(CPack)
