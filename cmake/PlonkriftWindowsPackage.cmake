# What Windows users get (`cpack` in the Windows build folder): a zip with
# the plug-in DLL, a short install text, the licence and the presets.
install(TARGETS plonkrift6v2 RUNTIME DESTINATION . COMPONENT vst)
install(FILES "${PROJECT_SOURCE_DIR}/cmake/WindowsInstall.txt" DESTINATION . RENAME INSTALL.txt COMPONENT vst)
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt COMPONENT vst)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/presets/" DESTINATION presets COMPONENT vst
        FILES_MATCHING PATTERN "*.preset")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The plonkrift6 developers")
set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-windows-x64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
