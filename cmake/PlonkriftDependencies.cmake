# Third-party libraries found once for the whole tree.
find_package(PkgConfig REQUIRED)
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
