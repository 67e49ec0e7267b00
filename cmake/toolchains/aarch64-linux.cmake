# aarch64 (arm64) Linux cross build with Debian's g++-aarch64-linux-gnu: the module as an
# aarch64 corvane.xso64, and a statically linked host and test programs that run under
# qemu-aarch64 (qemu-user) on this machine. Only Debian's header-only libraries exist for
# this target here (see CORVANE_CROSS_HOST in the top CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CORVANE_AARCH64_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${CORVANE_AARCH64_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${CORVANE_AARCH64_PREFIX}-g++)
set(CMAKE_OBJDUMP ${CORVANE_AARCH64_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_AARCH64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables carry their runtime, so qemu needs no aarch64 root file system. glibc's
# static dlopen still loads the module: it imports nothing, so no shared library of the
# system is asked for. The module itself links with -nostdlib and is not affected.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest and gtest_discover_tests run the aarch64 programs through user-mode emulation.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)

set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/gtest-from-source)

# The host's own arithmetic (lights, camera, shapes) must give the x86-64 host's results:
# GCC would fuse multiplies with adds on aarch64 by default.
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off")
