# Windows x64 cross build with mingw-w64 (POSIX thread model, so std::thread works in the
# host core and the tests). Test programs link statically and run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${CORVANE_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables carry their runtime (libstdc++, libgcc, winpthread) so wine needs no DLLs
# beside them. The module itself links with -nostdlib and is not affected.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest and gtest_discover_tests run Windows programs through wine: Debian's 64-bit loader
# with the address layout fixed (scripts/wine64 says why).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine64)

# GoogleTest is built from Debian's sources (see gtest-from-source/GTestConfig.cmake).
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/gtest-from-source)
