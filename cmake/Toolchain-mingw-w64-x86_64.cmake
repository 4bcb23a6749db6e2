# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the posix-thread
# compilers, so std::thread and std::mutex work):
#
#   cmake -S . -B build-win --toolchain cmake/Toolchain-mingw-w64-x86_64.cmake
#
# Programs of the build (tests) run under Wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PLONK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PLONK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLONK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PLONK_MINGW_TRIPLET}-windres)

# Headers and libraries come from the mingw-w64 tree only, never from the
# Linux system; programs (code generators) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PLONK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(PLONK_WINE NAMES wine wine64)
if(PLONK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PLONK_WINE})
endif()
