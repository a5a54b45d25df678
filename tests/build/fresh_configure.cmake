# A first configure of a fresh native tree already compiles the tests under
# the sanitizers and the shipped mkmanifest without them (a sanitized object
# does not link without the runtime, so the compile commands tell it all);
# with BUILD_TESTING=OFF the product configures without GoogleTest.
#   cmake -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -DGENERATOR=<name> -P fresh_configure.cmake
cmake_minimum_required(VERSION 3.20)

# Configures <tree> with the given arguments; <out> gets its compile commands, one a line.
function(configure tree out)
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${tree}" -G "${GENERATOR}"
                          -DCMAKE_EXPORT_COMPILE_COMMANDS=ON ${ARGN}
                  RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(failed)
    message(FATAL_ERROR "configure of ${tree} failed:\n${log}")
  endif()
  file(STRINGS "${tree}/compile_commands.json" commands REGEX "\"command\":")
  set(${out} "${commands}" PARENT_SCOPE)
endfunction()

set(failures "")
# Every command that compiles into <target>.dir must (or must not) sanitize.
function(expect commands target sanitized)
  set(seen 0)
  foreach(command IN LISTS commands)
    if(command MATCHES "/${target}\\.dir/")
      set(seen 1)
      if(sanitized AND NOT command MATCHES "-fsanitize=address,undefined")
        string(APPEND failures "\n  ${target} is compiled without the sanitizers")
        break()
      elseif(NOT sanitized AND command MATCHES "-fsanitize")
        string(APPEND failures "\n  shipped ${target} is compiled with a sanitizer")
        break()
      endif()
    endif()
  endforeach()
  if(NOT seen)
    string(APPEND failures "\n  nothing compiles into ${target}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

configure("${WORK_DIR}/default" commands)
foreach(target unit_tests e2e_tests engine_checked mkmanifest_core_checked)
  expect("${commands}" ${target} TRUE)
endforeach()
foreach(target mkmanifest mkmanifest_core engine)
  expect("${commands}" ${target} FALSE)
endforeach()

# The product alone: GoogleTest may not even be looked for.
configure("${WORK_DIR}/product" commands -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON)
expect("${commands}" mkmanifest FALSE)
if(commands MATCHES "unit_tests|e2e_tests|_checked")
  string(APPEND failures "\n  BUILD_TESTING=OFF still builds tests")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "fresh configure with ${GENERATOR}: tests sanitized, shipped code plain, product without GoogleTest")
