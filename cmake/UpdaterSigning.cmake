# Authenticode for the Windows programs: once a program is linked, osslsigncode
# signs it in place, with a timestamp when a server is named. The options are
# those of osslsigncode 2.5 (Debian 12) that 2.9 still takes.
# Run as a script, it is the signing step itself:
#   cmake -DPROGRAM=<exe> -DCERT=<file> -DKEY=<file> [-DTIMESTAMP_URL=<url>] -DOSSLSIGNCODE=<path>
#         -P cmake/UpdaterSigning.cmake
include_guard(GLOBAL)
cmake_policy(VERSION 3.20)

# Signs <target> after every link with <cert> and <key>, timestamped by <timestamp_url> unless it is empty.
function(updater_sign_executable target cert key timestamp_url)
  find_program(UPDATER_OSSLSIGNCODE osslsigncode)
  if(NOT UPDATER_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing ${target} needs osslsigncode (Debian: apt-get install osslsigncode)")
  endif()
  foreach(file cert key)
    get_filename_component(${file} "${${file}}" ABSOLUTE)
    if(NOT EXISTS "${${file}}" OR IS_DIRECTORY "${${file}}")
      message(FATAL_ERROR "Signing ${target}: ${${file}} is not a file")
    endif()
  endforeach()
  find_program(UPDATER_OPENSSL openssl)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DCERT=${cert} -DKEY=${key}
            -DTIMESTAMP_URL=${timestamp_url} -DOSSLSIGNCODE=${UPDATER_OSSLSIGNCODE}
            -DOPENSSL=${UPDATER_OPENSSL} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    VERBATIM)
endfunction()

# Signs a shipped program when the build is given a certificate and key (UPDATER_SIGN_*).
function(updater_sign_product target)
  if(NOT UPDATER_SIGN_CERT AND NOT UPDATER_SIGN_KEY)
    return()
  elseif(NOT UPDATER_SIGN_CERT OR NOT UPDATER_SIGN_KEY)
    message(FATAL_ERROR "Signing needs both UPDATER_SIGN_CERT and UPDATER_SIGN_KEY")
  endif()
  updater_sign_executable(${target} "${UPDATER_SIGN_CERT}" "${UPDATER_SIGN_KEY}" "${UPDATER_SIGN_TIMESTAMP_URL}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  set(timestamp "")
  if(TIMESTAMP_URL)
    set(timestamp -ts "${TIMESTAMP_URL}")
  endif()
  execute_process(COMMAND "${OSSLSIGNCODE}" sign -certs "${CERT}" -key "${KEY}" -h sha256 ${timestamp}
                          -in "${PROGRAM}" -out "${PROGRAM}.signed"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(failed)
    # An unsigned program must not pass for a built one at the next build.
    file(REMOVE "${PROGRAM}" "${PROGRAM}.signed")
    message(FATAL_ERROR "osslsigncode could not sign ${PROGRAM}:\n${log}")
  endif()
  file(CHMOD "${PROGRAM}.signed" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                              WORLD_READ WORLD_EXECUTE)
  file(RENAME "${PROGRAM}.signed" "${PROGRAM}")
  # One line per signed program, so a build log shows what was signed and by whom.
  set(subject "")
  if(OPENSSL)
    foreach(form PEM DER)
      execute_process(COMMAND "${OPENSSL}" x509 -noout -subject -nameopt RFC2253 -inform ${form} -in "${CERT}"
                      RESULT_VARIABLE unreadable OUTPUT_VARIABLE subject ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(NOT unreadable)
        break()
      endif()
      set(subject "")
    endforeach()
    string(REGEX REPLACE "^subject=" "" subject "${subject}")
  endif()
  if(subject STREQUAL "")
    set(subject "the certificate in ${CERT}")
  endif()
  get_filename_component(name "${PROGRAM}" NAME)
  message(STATUS "signed ${name} as ${subject}")
endif()
