# macOS x86-64 (Intel Macs, and the x86-64 slice of the universal module).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVANE_MACOS_TARGET x86_64-apple-macos10.15)
include(${CMAKE_CURRENT_LIST_DIR}/macos-common.cmake)
