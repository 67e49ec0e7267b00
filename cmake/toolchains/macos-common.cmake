# macOS cross builds with clang and lld, shared by macos-x86_64.cmake and macos-arm64.cmake
# (which set CMAKE_SYSTEM_PROCESSOR and CORVANE_MACOS_TARGET first). There is no Apple SDK
# here: this builds the freestanding module only (no system headers or libraries are
# needed for it).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${CORVANE_MACOS_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${CORVANE_MACOS_TARGET})
set(CMAKE_AR llvm-ar CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib CACHE FILEPATH "")
set(CMAKE_NM llvm-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP llvm-objdump CACHE FILEPATH "")

# No SDK: keep CMake from looking for one or adding -isysroot.
set(CMAKE_OSX_SYSROOT "" CACHE STRING "")
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "")
# Compiler checks cannot link an executable without a C library.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-fuse-ld=lld")
# The library names itself @rpath/<file>, as a plug-in that the host loads by path.
set(CMAKE_INSTALL_NAME_DIR "@rpath")
set(CMAKE_BUILD_WITH_INSTALL_NAME_DIR ON)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
