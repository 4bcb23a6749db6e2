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

# Installs a plug-in for the user who runs the install: the TARGETS' binaries
# (stripped when the install strips) and FILES into <user folder>/SUBFOLDER,
# where the user folder is the cache variable USER_DIR_VARIABLE names or,
# when that is empty, ~/HOME_FOLDER of whoever installs. Whose home is known
# only when the install runs, so this is install-time code in COMPONENT,
# left out of a plain install.
function(plonk_install_for_user)
  cmake_parse_arguments(arg "" "COMPONENT;USER_DIR_VARIABLE;HOME_FOLDER;SUBFOLDER" "TARGETS;FILES" ${ARGN})
  set(binaries "")
  set(names "")
  foreach(target ${arg_TARGETS})
    string(APPEND binaries " [[$<TARGET_FILE:${target}>]]")
    string(APPEND names " [[$<TARGET_FILE_NAME:${target}>]]")
  endforeach()
  set(files "")
  foreach(file ${arg_FILES})
    string(APPEND files " [[${file}]]")
  endforeach()
  set(install_files "")
  if(files)
    set(install_files "file(INSTALL DESTINATION \"\${folder}\" TYPE FILE FILES ${files})")
  endif()
  install(CODE "
    set(user_dir [[${${arg_USER_DIR_VARIABLE}}]])
    if(user_dir STREQUAL \"\")
      if(\"\$ENV{HOME}\" STREQUAL \"\")
        message(FATAL_ERROR \"HOME is not set: set ${arg_USER_DIR_VARIABLE} for the user install\")
      endif()
      set(user_dir \"\$ENV{HOME}/${arg_HOME_FOLDER}\")
    endif()
    # file(INSTALL) stages an absolute destination under DESTDIR itself; the
    # strip below works on the staged copy.
    set(folder \"\${user_dir}/${arg_SUBFOLDER}\")
    file(INSTALL DESTINATION \"\${folder}\" TYPE SHARED_LIBRARY FILES ${binaries})
    ${install_files}
    set(strip [[${CMAKE_STRIP}]])
    if(CMAKE_INSTALL_DO_STRIP AND strip)
      foreach(name ${names})
        execute_process(COMMAND \${strip} \"\$ENV{DESTDIR}\${folder}/\${name}\" RESULT_VARIABLE failed)
        if(failed)
          message(FATAL_ERROR \"cannot strip the installed \${name}\")
        endif()
      endforeach()
    endif()
    "
    COMPONENT ${arg_COMPONENT}
    EXCLUDE_FROM_ALL)
endfunction()
