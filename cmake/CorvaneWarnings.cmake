# corvane_warnings(target): the project's warning set, one place for every target.
function(corvane_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 reports a false -Wrestrict inside libstdc++'s operator+(const char*, string&&)
    # when optimising (GCC bug 105329); nothing of ours is involved.
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(CORVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# corvane_sanitize(target): applies CORVANE_SANITIZE to host-side targets (never to the
# freestanding module, which has no runtime to link a sanitizer against).
function(corvane_sanitize target)
  if(CORVANE_SANITIZE STREQUAL "address")
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  elseif(CORVANE_SANITIZE STREQUAL "thread")
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
endfunction()
