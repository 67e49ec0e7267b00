# Compiles the shader's source to assembly with a compiler that fuses a*b+c by default
# (clang for arm64, GCC with FMA) and without the build's -ffp-contract=off, and fails
# when any fused multiply-add appears: the source itself must keep the arithmetic apart.
#   cmake -DCXX=... -DFLAGS="..." -DINCLUDES="a;b" -DSOURCE=corvane.cpp -DPATTERN=regex -P check_unfused.cmake
separate_arguments(flag_list UNIX_COMMAND "${FLAGS}")
set(include_flags "")
foreach(dir ${INCLUDES})
  list(APPEND include_flags "-I${dir}")
endforeach()
execute_process(
  COMMAND ${CXX} ${flag_list} ${include_flags} -S -o - ${SOURCE}
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
