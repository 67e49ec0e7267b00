# Compiles one translation unit of tests/sdk_shape against the SDK stand-in, syntax only,
# and checks the outcome: case 0 (the form plug-in sources use) must compile, every other
# case (a form the real SDK rejects) must not.
#   cmake -DCXX=... -DFLAGS="..." -DINCLUDES="a;b" -DSOURCE=file.cpp -DCASE=n -P check_compile.cmake
include(${CMAKE_CURRENT_LIST_DIR}/compile_command.cmake)
execute_process(
  COMMAND ${compile_command} -DSHAPE_CASE=${CASE} -fsyntax-only ${SOURCE}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
get_filename_component(name ${SOURCE} NAME_WE)
if(CASE EQUAL 0)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name}: the accepted form does not compile against the stand-in:\n${err}")
  endif()
  message(STATUS "${name}: the accepted form compiles")
else()
  if(rc EQUAL 0)
    message(FATAL_ERROR "${name} case ${CASE}: compiles against the stand-in, but the real SDK rejects it")
  endif()
  # The compiler's first complaint shows why the form is rejected.
  string(REGEX MATCH "(error|warning)[^\n]*" first "${err}")
  message(STATUS "${name} case ${CASE}: rejected as expected: ${first}")
endif()
