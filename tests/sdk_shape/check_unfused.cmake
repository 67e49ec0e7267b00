# Compiles the shader's source to assembly with a compiler that fuses a*b+c by default
# (clang for arm64, GCC with FMA) and without the build's -ffp-contract=off, and fails
# when any fused multiply-add appears: the source itself must keep the arithmetic apart.
#   cmake -DCXX=... -DFLAGS="..." -DINCLUDES="a;b" -DSOURCE=corvane.cpp -DPATTERN=regex -P check_unfused.cmake
include(${CMAKE_CURRENT_LIST_DIR}/compile_command.cmake)
execute_process(
  COMMAND ${compile_command} -S -o - ${SOURCE}
  RESULT_VARIABLE rc OUTPUT_VARIABLE assembly ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not compile ${SOURCE}:\n${err}")
endif()
string(REGEX MATCHALL "[ \t](${PATTERN})[ \t][^\n]*" fused "${assembly}")
list(LENGTH fused count)
if(count GREATER 0)
  list(JOIN fused "\n" lines)
  message(FATAL_ERROR "${count} fused multiply-add instructions in ${SOURCE}:\n${lines}")
endif()
message(STATUS "no fused multiply-add in ${SOURCE} (${FLAGS})")
