# What a packager ships: the install trees of the Windows and the native
# build and the ZIP of the Windows build hold Update.exe and mkmanifest and
# the user documentation, whose every relative link leads to a shipped file,
# and never a test program, a test key or a program
# keyed with the test key. The Windows programs are stripped yet keep ASLR,
# DEP and relocations, and the release preset gives their very bytes in a
# folder of its own; given a certificate and a brand, it signs both. Given a
# public key, it ships Update.exe alone.
#   cmake -DSOURCE_DIR=<repo> -DGENERATOR=<name> -DWIN32_DIR=<tree> -DNATIVE_DIR=<tree> -DWORK_DIR=<scratch>
#         -DTEST_KEY=<test-only.pub> -P install_tree.cmake
cmake_minimum_required(VERSION 3.20)

set(docs share/doc/OnlineUpdater/README.md share/doc/OnlineUpdater/START-HERE.md
         share/doc/OnlineUpdater/docs/INTEGRATION.md share/doc/OnlineUpdater/docs/SIGNING.md
         share/doc/OnlineUpdater/docs/product_snippets.c
         share/doc/OnlineUpdater/docs/PATCHES.md)
set(failures "")
macro(fail message)
  string(APPEND failures "\n  ${message}")
endmacro()

# Runs a command that must succeed; run_output gets what it printed.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed:\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
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
  # Every relative link of a shipped page leads to a shipped file.
  foreach(page IN LISTS files)
    if(NOT page MATCHES "\\.md$")
      continue()
    endif()
    file(READ "${root}/${page}" text)
    get_filename_component(page_dir "${page}" DIRECTORY)
    # A bracket in a list item would upset CMake's list splitting.
    string(REPLACE "](" "\nLINK<" text "${text}")
    string(REGEX MATCHALL "LINK<[^)#:\n]+" links "${text}")
    foreach(link IN LISTS links)
      string(SUBSTRING "${link}" 5 -1 target)
      cmake_path(APPEND page_dir "${target}" OUTPUT_VARIABLE linked)
      cmake_path(NORMAL_PATH linked)
      if(NOT linked IN_LIST files)
        fail("${what}: ${page} links to ${target}, which is not shipped")
      endif()
    endforeach()
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

find_program(OBJDUMP i686-w64-mingw32-objdump REQUIRED)
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
foreach(program Update.exe mkmanifest.exe)
  run("${OBJDUMP}" -p -h "${WIN32_DIR}/bin/${program}")
  # zlib is linked in: a zlib DLL would be one more file to ship.
  if(run_output MATCHES "DLL Name: [^\n]*(zlib|libz)")
    fail("${program} imports a zlib DLL")
  endif()
  foreach(expected "symbols stripped" DYNAMIC_BASE NX_COMPAT " [.]reloc ")
    if(NOT run_output MATCHES "${expected}" OR run_output MATCHES " [.]debug_")
      fail("${program} is not stripped, or lacks ${expected}")
    endif()
  endforeach()
endforeach()

set(tree "${WORK_DIR}/release")
set(cert "${SOURCE_DIR}/tests/data/keys/test-only-codesign.crt")
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}" --preset release -B "${tree}" -G "${GENERATOR}")
run(${CMAKE_COMMAND} --build "${tree}" --target Update mkmanifest)
foreach(program Update.exe mkmanifest.exe)
  file(SHA256 "${WIN32_DIR}/bin/${program}" tested)
  file(SHA256 "${tree}/bin/${program}" rebuilt)
  if(NOT tested STREQUAL rebuilt)
    fail("${program} differs between ${WIN32_DIR} and ${tree}")
  endif()
endforeach()
# Signed and branded with the test-only certificate and the test brand.
run(${CMAKE_COMMAND} "${tree}" -DUPDATER_SIGN_CERT=${cert} -DUPDATER_BRAND_DIR=${SOURCE_DIR}/tests/data/brand
    -DUPDATER_SIGN_KEY=${SOURCE_DIR}/tests/data/keys/test-only-codesign.key)
run(${CMAKE_COMMAND} --build "${tree}" --target Update mkmanifest)
foreach(program Update.exe mkmanifest.exe)
  if(NOT run_output MATCHES "signed ${program} as CN=Test-only code signing")
    fail("the build does not say that it signed ${program} with the certificate's subject:\n${run_output}")
  endif()
endforeach()
foreach(program "${tree}/bin/Update.exe" "${tree}/bin/mkmanifest.exe" "${WIN32_DIR}/tests/bin/UpdateKeyed.exe")
  run("${OSSLSIGNCODE}" verify -CAfile "${cert}" -in "${program}")
endforeach()
file(STRINGS "${tree}/CPackConfig.cmake" version REGEX "CPACK_PACKAGE_VERSION \"3[.]5[.]0[.]65535\"")
if(NOT version)
  fail("the branded ZIP is not named by the brand's FileVersion")
endif()
# A keyed build ships no mkmanifest.exe: it cannot sign what that build requires.
run(${CMAKE_COMMAND} "${tree}" -DUPDATER_PUBLIC_KEY=${TEST_KEY})
run(${CMAKE_COMMAND} --build "${tree}" --target Update)
if(EXISTS "${tree}/bin/mkmanifest.exe")
  fail("a keyed build folder keeps a bin/mkmanifest.exe that could pass for a shipped one")
endif()
run(${CMAKE_COMMAND} --install "${tree}" --prefix "${WORK_DIR}/keyed")
file(GLOB keyed_bin RELATIVE "${WORK_DIR}/keyed/bin" "${WORK_DIR}/keyed/bin/*")
if(NOT keyed_bin STREQUAL "Update.exe")
  fail("a keyed install tree holds ${keyed_bin}, not Update.exe alone")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
get_filename_component(zip_name "${zips}" NAME)
message(STATUS "install trees and ${zip_name} hold the shipped programs and documentation only; "
               "the release preset gives the same programs, stripped, and signs them")
