# The guide's C code is docs/product_snippets.c: every ```c block of
# docs/INTEGRATION.md is a verbatim part of it, and the file compiles with
# mingw without a warning under -Wall -Wextra (as C99 and as the compiler's
# default C).
#   cmake -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -P guide_snippets.cmake
cmake_minimum_required(VERSION 3.20)

set(code_file "${SOURCE_DIR}/docs/product_snippets.c")
file(READ "${code_file}" code)
file(READ "${SOURCE_DIR}/docs/INTEGRATION.md" guide)

set(failures "")
set(blocks 0)
while(guide MATCHES "```c\n")
  string(FIND "${guide}" "```c\n" start)
  math(EXPR start "${start} + 5")
  string(SUBSTRING "${guide}" ${start} -1 guide)
  string(FIND "${guide}" "```" end)
  string(SUBSTRING "${guide}" 0 ${end} block)
  math(EXPR end "${end} + 3")
  string(SUBSTRING "${guide}" ${end} -1 guide)
  math(EXPR blocks "${blocks} + 1")
  string(FIND "${code}" "${block}" at)
  if(at EQUAL -1)
    string(APPEND failures "\n  block ${blocks} of the guide is not in docs/product_snippets.c:\n${block}")
  endif()
endwhile()
if(blocks LESS 6)
  string(APPEND failures "\n  the guide shows ${blocks} C blocks, not the six functions")
endif()

find_program(MINGW_GCC i686-w64-mingw32-gcc REQUIRED)
file(MAKE_DIRECTORY "${WORK_DIR}")
foreach(standard -std=c99 -std=gnu17)
  execute_process(COMMAND "${MINGW_GCC}" ${standard} -Wall -Wextra -Werror -c "${code_file}"
                          -o "${WORK_DIR}/product_snippets.o"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    string(APPEND failures "\n  ${standard}: ${out}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "${blocks} C blocks of the guide are docs/product_snippets.c, which compiles without a warning")
