# Included by the check scripts: the compiler command of -DCXX, -DFLAGS (one string) and
# -DINCLUDES (a list of folders), in compile_command.
separate_arguments(compile_command UNIX_COMMAND "${FLAGS}")
list(PREPEND compile_command ${CXX})
foreach(dir ${INCLUDES})
  list(APPEND compile_command "-I${dir}")
endforeach()
