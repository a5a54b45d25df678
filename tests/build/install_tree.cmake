# What a packager ships: the install trees of the Windows and the native
# build and the ZIP of the Windows build hold Update.exe and mkmanifest and
# the user documentation, and never a test program, a test key or a program
# keyed with the test key.
#   cmake -DWIN32_DIR=<tree> -DNATIVE_DIR=<tree> -DWORK_DIR=<scratch> -DTEST_KEY=<test-only.pub>
#         -P install_tree.cmake
cmake_minimum_required(VERSION 3.20)

set(docs share/doc/OnlineUpdater/README.md share/doc/OnlineUpdater/docs/INTEGRATION.md
         share/doc/OnlineUpdater/docs/SIGNING.md)
set(failures "")
macro(fail message)
  string(APPEND failures "\n  ${message}")
endmacro()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed:\n${out}")
  endif()
endfunction()

file(READ "${TEST_KEY}" test_key HEX)

# Checks one tree (files relative to its root): the programs in bin/ are
# exactly <programs>, the documentation is there, and nothing is from the tests.
function(check_tree what root files)
  set(bin ${files})
  list(FILTER bin INCLUDE REGEX "^bin/")
  list(SORT bin)
  set(expected ${ARGN})
  list(TRANSFORM expected PREPEND bin/)
  list(SORT expected)
  if(NOT bin STREQUAL expected)
    fail("${what}: bin/ holds ${bin}, not ${expected}")
  endif()
  foreach(doc IN LISTS docs)
    if(NOT doc IN_LIST files)
      fail("${what}: ${doc} is missing")
    endif()
  endforeach()
  foreach(file IN LISTS files)
    if(file MATCHES "\\.(pem|pub|key)$|(^|/)tests?/|Keyed|Branded")
      fail("${what}: ${file} belongs to the tests")
    elseif(file MATCHES "\\.exe$" AND NOT file IN_LIST expected)
      fail("${what}: ${file} is not a shipped program")
    endif()
  endforeach()
  if(EXISTS "${root}/bin/Update.exe")
    file(READ "${root}/bin/Update.exe" program HEX)
    string(FIND "${program}" "${test_key}" at)
    if(NOT at EQUAL -1)
      fail("${what}: Update.exe embeds the test-only key")
    endif()
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

function(installed_files root out)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
  set(${out} "${files}" PARENT_SCOPE)
endfunction()

foreach(tree WIN32_DIR NATIVE_DIR)
  if(NOT EXISTS "${${tree}}/CMakeCache.txt")
    message(FATAL_ERROR "no build tree in ${${tree}}: run scripts/build first")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")

run(${CMAKE_COMMAND} --install "${WIN32_DIR}" --prefix "${WORK_DIR}/win32")
installed_files("${WORK_DIR}/win32" files)
check_tree("Windows install tree" "${WORK_DIR}/win32" "${files}" Update.exe mkmanifest.exe)

run(${CMAKE_COMMAND} --install "${NATIVE_DIR}" --prefix "${WORK_DIR}/native")
installed_files("${WORK_DIR}/native" files)
check_tree("native install tree" "${WORK_DIR}/native" "${files}" mkmanifest)

# The ZIP: one top folder holding the same tree.
get_filename_component(cpack "${CMAKE_COMMAND}" DIRECTORY)
run("${cpack}/cpack" --config "${WIN32_DIR}/CPackConfig.cmake" -B "${WORK_DIR}/package")
file(GLOB zips "${WORK_DIR}/package/*.zip")
list(LENGTH zips count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} ZIP files: ${zips}")
endif()
file(MAKE_DIRECTORY "${WORK_DIR}/unzipped")
run(${CMAKE_COMMAND} -E chdir "${WORK_DIR}/unzipped" ${CMAKE_COMMAND} -E tar xf "${zips}")
file(GLOB top LIST_DIRECTORIES true "${WORK_DIR}/unzipped/*")
installed_files("${top}" files)
check_tree("ZIP" "${top}" "${files}" Update.exe mkmanifest.exe)

file(REMOVE_RECURSE "${WORK_DIR}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
get_filename_component(zip_name "${zips}" NAME)
message(STATUS "install trees and ${zip_name} hold the shipped programs and documentation only")
