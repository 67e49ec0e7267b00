# macOS arm64 (Apple Silicon; the arm64 slice of the universal module). macOS 11 is the
# first release that runs on these processors.
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(CORVANE_MACOS_TARGET arm64-apple-macos11)
include(${CMAKE_CURRENT_LIST_DIR}/macos-common.cmake)
