# Third-party libraries found once for the whole tree.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

if(PLONKRIFT_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(PLONKRIFT_BENCH)
  find_package(benchmark REQUIRED)
endif()
