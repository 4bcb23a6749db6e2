# Adds the named subdirectories; each must have a CMakeLists.txt (a folder
# named here but never built would be a test or tool silently missing).
macro(plonk_add_subdirectories)
  foreach(dir ${ARGN})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${dir} has no CMakeLists.txt")
    endif()
    add_subdirectory(${dir})
  endforeach()
endmacro()

# A GoogleTest executable registered with CTest.
function(plonk_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set(environment "")
  if(PLONKRIFT_SANITIZE)
    set(environment "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Listing the cases would run the program at build time: under an
    # emulator (Wine) the whole program is one test.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  else()
    # A test that skips itself (GTEST_SKIP) is reported as skipped, not passed.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
                         TIMEOUT 600 ENVIRONMENT "${environment}")
  endif()
endfunction()

# A Google Benchmark executable (built with the tree, run by hand).
function(plonk_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# A libFuzzer target (clang only, PLONKRIFT_FUZZ=ON).
function(plonk_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  # One target builds every fuzzer and only what they need.
  if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
  endif()
  add_dependencies(fuzzers ${name})
endfunction()
