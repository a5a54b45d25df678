# What a vendor ships: the release preset, built in a folder of its own, gives
# the very bytes of the tested Windows build; the programs are stripped yet
# keep ASLR, DEP and their relocations; and with a certificate (and a brand)
# the build signs both programs so that osslsigncode verifies them against it.
#   cmake -DSOURCE_DIR=<repo> -DWIN32_DIR=<tree> -DWORK_DIR=<scratch> -DGENERATOR=<name>
#         -P release_binaries.cmake
cmake_minimum_required(VERSION 3.20)

set(programs Update.exe mkmanifest.exe)
set(cert "${SOURCE_DIR}/tests/data/keys/test-only-codesign.crt")
set(failures "")
macro(fail message)
  string(APPEND failures "\n  ${message}")
endmacro()

# Runs a command that must succeed; <out> gets its output.
function(run out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(failed)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed:\n${log}")
  endif()
  set(${out} "${log}" PARENT_SCOPE)
endfunction()

find_program(OBJDUMP i686-w64-mingw32-objdump REQUIRED)
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)

# Stripped, with the loader's protections and the relocations that ASLR needs.
foreach(program IN LISTS programs)
  run(headers "${OBJDUMP}" -p -h "${WIN32_DIR}/bin/${program}")
  foreach(expected "symbols stripped" "DYNAMIC_BASE" "NX_COMPAT" " \\.reloc ")
    if(NOT headers MATCHES "${expected}")
      fail("${program} lacks ${expected}")
    endif()
  endforeach()
  if(headers MATCHES " \\.debug_")
    fail("${program} carries debug sections")
  endif()
endforeach()

# The release preset in another folder: byte for byte the tested programs.
set(tree "${WORK_DIR}/release")
file(REMOVE_RECURSE "${WORK_DIR}")
run(log ${CMAKE_COMMAND} -S "${SOURCE_DIR}" --preset release -B "${tree}" -G "${GENERATOR}")
run(log ${CMAKE_COMMAND} --build "${tree}" --target Update mkmanifest -j ${jobs})
set(sizes "")
foreach(program IN LISTS programs)
  file(SHA256 "${WIN32_DIR}/bin/${program}" tested)
  file(SHA256 "${tree}/bin/${program}" shipped)
  if(NOT tested STREQUAL shipped)
    fail("${program} differs between ${WIN32_DIR} and ${tree}")
  endif()
  file(SIZE "${tree}/bin/${program}" size)
  string(APPEND sizes " ${program} ${size} bytes")
endforeach()

# Signed and branded: the test-only certificate, the test brand.
run(log ${CMAKE_COMMAND} "${tree}" -DUPDATER_SIGN_CERT=${cert}
        -DUPDATER_SIGN_KEY=${SOURCE_DIR}/tests/data/keys/test-only-codesign.key
        -DUPDATER_BRAND_DIR=${SOURCE_DIR}/tests/data/brand)
run(log ${CMAKE_COMMAND} --build "${tree}" --target Update mkmanifest -j ${jobs})
foreach(program IN ITEMS "${tree}/bin/Update.exe" "${tree}/bin/mkmanifest.exe"
                         "${WIN32_DIR}/tests/bin/UpdateKeyed.exe")
  execute_process(COMMAND "${OSSLSIGNCODE}" verify -CAfile "${cert}" -in "${program}"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE verified ERROR_VARIABLE verified)
  if(failed)
    fail("${program} does not verify against the test-only certificate:\n${verified}")
  endif()
endforeach()
# Signing adds the signature and nothing else: without it, the bytes of the unbranded program.
run(log "${OSSLSIGNCODE}" remove-signature -in "${tree}/bin/mkmanifest.exe" -out "${WORK_DIR}/unsigned.exe")
file(SHA256 "${WORK_DIR}/unsigned.exe" unsigned)
file(SHA256 "${WIN32_DIR}/bin/mkmanifest.exe" tested)
if(NOT unsigned STREQUAL tested)
  fail("the signed mkmanifest.exe differs from the tested one by more than its signature")
endif()
# The brand's FileVersion names the ZIP.
file(STRINGS "${tree}/CPackConfig.cmake" version REGEX "CPACK_PACKAGE_VERSION \"")
if(NOT version MATCHES "\"3\\.5\\.0\\.65535\"")
  fail("the branded ZIP's version is not the brand's FileVersion: ${version}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "release build reproduced, stripped and signed:${sizes}")
