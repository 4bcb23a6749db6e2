# The Windows build, cross-compiled with cmake/Toolchain-mingw-w64-x86_64.cmake
# (scripts/build-windows.sh runs it): the plug-in as a DLL that needs only
# what every Windows has, its unit tests and the Wine tests of tests/windows.

# The editor's stored form is data that Linux programs make (the artwork is
# drawn with Cairo at build time): a native build of this tree compiles it, and
# this build embeds that file. The Windows tests also hold their results
# against that build's library, renderer and screenshot tool.
set(PLONKRIFT_NATIVE_BUILD "" CACHE PATH "A native (Linux) build folder of this tree (scripts/build-windows.sh makes one)")
set(PLONKRIFT_STORED_FORM "${PLONKRIFT_NATIVE_BUILD}/editor/TPluginEditorWindow.bin")
if(NOT EXISTS "${PLONKRIFT_STORED_FORM}")
  message(FATAL_ERROR "No compiled editor form in PLONKRIFT_NATIVE_BUILD (${PLONKRIFT_STORED_FORM}): "
                      "build the target plonk_editor_form there first, or run scripts/build-windows.sh")
endif()
# The shipped presets as the native build compiled them (plugin/CMakeLists.txt).
set(PLONKRIFT_FACTORY_PRESETS "${PLONKRIFT_NATIVE_BUILD}/plugin/core/FactoryPresets.cpp")
if(NOT EXISTS "${PLONKRIFT_FACTORY_PRESETS}")
  message(FATAL_ERROR "No compiled presets in PLONKRIFT_NATIVE_BUILD (${PLONKRIFT_FACTORY_PRESETS}): "
                      "build the target plonk_factory_presets there first, or run scripts/build-windows.sh")
endif()

# libstdc++, libgcc and winpthread are linked into every binary: the DLL then
# imports from system DLLs only, and test programs run under Wine without the
# compiler's DLLs on their path.
add_link_options(-static)

# mingw-w64's GCC 12 at -O3 reports zero-byte copies at the end of a vector
# as out of bounds (std::vector::insert of an empty range, a known false
# positive): shown, not fatal.
if(PLONKRIFT_WERROR AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-error=array-bounds)
endif()

# GoogleTest from Debian's sources, built with the same compiler (there is no
# Windows package of it). It is built once per build folder.
if(PLONKRIFT_TESTS)
  set(PLONKRIFT_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows tests")
  if(NOT EXISTS ${PLONKRIFT_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${PLONKRIFT_GTEST_SOURCE_DIR} (Debian's googletest package)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${PLONKRIFT_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(target gtest gtest_main gmock gmock_main)
    # Not our code: its warnings are not ours to fix.
    target_compile_options(${target} PRIVATE -w)
  endforeach()
endif()
