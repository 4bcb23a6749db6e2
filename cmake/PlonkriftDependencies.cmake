# Third-party libraries found once for the whole tree.
# pkg-config finds the Linux libraries (X11, Cairo, libpng, sndfile, LV2); the
# Windows build links system DLLs only and needs none.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
endif()
find_package(Threads REQUIRED)

if(PLONKRIFT_TESTS AND NOT TARGET GTest::gtest)  # the Windows build makes its own (PlonkriftWindows)
  find_package(GTest REQUIRED)
endif()
if(PLONKRIFT_TESTS)
  include(GoogleTest)
endif()
if(PLONKRIFT_BENCH)
  find_package(benchmark REQUIRED)
endif()
