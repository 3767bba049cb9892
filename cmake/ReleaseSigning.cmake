# The release's signing step: the credentials of whoever makes the release, and the signed
# copies of the shipped programs, made by tools/packaging/release/sign_program.py; and its
# test with a throwaway authority.  Included by cmake/Release.cmake.
#
#   fwupgrade_signed_release(<out> <target>...)   <out>: the files the release ships for the
#                                                  targets, signed copies when a key is named
#   fwupgrade_signing_test(<target> <component> <zip arguments>...)

if(WIN32)
  # The release's Authenticode signature, with the certificate and key of whoever makes the
  # release, named here and kept outside the repository: a certificate file and a key file,
  # or one PKCS#12 file.  Without them the release holds the unsigned program.
  set(FWUPGRADE_SIGN_CERTIFICATE "" CACHE FILEPATH
      "Code-signing certificate (PEM or DER, with its chain) for the release program; with FWUPGRADE_SIGN_KEY")
  set(FWUPGRADE_SIGN_KEY "" CACHE FILEPATH "Private key of FWUPGRADE_SIGN_CERTIFICATE")
  set(FWUPGRADE_SIGN_PKCS12 "" CACHE FILEPATH
      "PKCS#12 file with the code-signing certificate and its key, instead of the two files")
  set(FWUPGRADE_SIGN_PASSWORD_FILE "" CACHE FILEPATH
      "File holding the password of the key or the PKCS#12 file, when it has one")
  set(FWUPGRADE_SIGN_TIMESTAMP_URL "" CACHE STRING
      "RFC 3161 time-stamp server for the signature (needs the network); empty: no time stamp")
  find_program(FWUPGRADE_OSSLSIGNCODE osslsigncode)
  find_program(FWUPGRADE_OPENSSL openssl)
endif()

# The arguments of tools/packaging/release/sign_program.py for the credentials named above, in
# <out>; empty when none are named.  Stops the configuration when they are incomplete,
# missing, or inside the source folder.
function(_fwupgrade_signing_arguments out)
  set(arguments)
  set(files)
  if(FWUPGRADE_SIGN_PKCS12)
    if(FWUPGRADE_SIGN_CERTIFICATE OR FWUPGRADE_SIGN_KEY)
      message(FATAL_ERROR "Name FWUPGRADE_SIGN_PKCS12 or FWUPGRADE_SIGN_CERTIFICATE and FWUPGRADE_SIGN_KEY, not both")
    endif()
    set(arguments --pkcs12 ${FWUPGRADE_SIGN_PKCS12})
    set(files ${FWUPGRADE_SIGN_PKCS12})
  elseif(FWUPGRADE_SIGN_CERTIFICATE OR FWUPGRADE_SIGN_KEY)
    if(NOT FWUPGRADE_SIGN_CERTIFICATE OR NOT FWUPGRADE_SIGN_KEY)
      message(FATAL_ERROR "Signing needs both FWUPGRADE_SIGN_CERTIFICATE and FWUPGRADE_SIGN_KEY")
    endif()
    set(arguments --certificate ${FWUPGRADE_SIGN_CERTIFICATE} --key ${FWUPGRADE_SIGN_KEY})
    set(files ${FWUPGRADE_SIGN_CERTIFICATE} ${FWUPGRADE_SIGN_KEY})
  elseif(FWUPGRADE_SIGN_PASSWORD_FILE OR FWUPGRADE_SIGN_TIMESTAMP_URL)
    message(FATAL_ERROR "FWUPGRADE_SIGN_PASSWORD_FILE and FWUPGRADE_SIGN_TIMESTAMP_URL need a key: "
                        "FWUPGRADE_SIGN_PKCS12, or FWUPGRADE_SIGN_CERTIFICATE and FWUPGRADE_SIGN_KEY")
  endif()
  if(NOT arguments)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  if(FWUPGRADE_SIGN_PASSWORD_FILE)
    list(APPEND arguments --password-file ${FWUPGRADE_SIGN_PASSWORD_FILE})
    list(APPEND files ${FWUPGRADE_SIGN_PASSWORD_FILE})
  endif()
  foreach(file ${files})
    cmake_path(ABSOLUTE_PATH file NORMALIZE)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR ${file} NORMALIZE in_sources)
    cmake_path(IS_PREFIX PROJECT_BINARY_DIR ${file} NORMALIZE in_build)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "Signing: ${file} does not exist")
    elseif(in_sources AND NOT in_build)
      message(FATAL_ERROR "Signing: ${file} lies in the source folder; keep keys and passwords out of the repository")
    endif()
  endforeach()
  if(NOT FWUPGRADE_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (Debian package osslsigncode)")
  endif()
  if(FWUPGRADE_SIGN_TIMESTAMP_URL)
    list(APPEND arguments --timestamp-url ${FWUPGRADE_SIGN_TIMESTAMP_URL})
  endif()
  set(${out} ${arguments} --osslsigncode ${FWUPGRADE_OSSLSIGNCODE} PARENT_SCOPE)
endfunction()

# The files the release ships for `targets`, in <out>: the built files, or, when a key is
# named, signed copies in release/signed.  The built files themselves are never signed, so
# they stay the same from every build.
function(fwupgrade_signed_release out)
  set(sign_script ${PROJECT_SOURCE_DIR}/tools/packaging/release/sign_program.py)
  _fwupgrade_signing_arguments(sign_args)
  set(shipped)
  foreach(target ${ARGN})
    if(NOT sign_args)
      list(APPEND shipped $<TARGET_FILE:${target}>)
      continue()
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      set(output ${CMAKE_BINARY_DIR}/release/signed/${target}.exe)
    else()
      set(output ${CMAKE_BINARY_DIR}/release/signed/${target}.dll)
    endif()
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${FWUPGRADE_PYTHON} ${sign_script} --program $<TARGET_FILE:${target}> --output ${output} ${sign_args}
      DEPENDS ${target} ${sign_script}
      COMMENT "Signing ${target} for the release"
      VERBATIM)
    list(APPEND shipped ${output})
  endforeach()
  set(${out} ${shipped} PARENT_SCOPE)
endfunction()

# The signing step with a throwaway authority made at test time; it leaves the signed
# program for the whole-program rows (tests/e2e), which run it as users get it.
function(fwupgrade_signing_test target component)
  set(signing_dir ${CMAKE_BINARY_DIR}/signing)
  set(FWUPGRADE_SIGNED_TEST_PROGRAM ${signing_dir}/${target}.exe CACHE INTERNAL "")
  if(FWUPGRADE_OSSLSIGNCODE AND FWUPGRADE_OPENSSL)
    add_test(NAME ${target}_signed
             COMMAND ${FWUPGRADE_PYTHON} ${PROJECT_SOURCE_DIR}/tests/release/check_signing.py
                     --program $<TARGET_FILE:${target}> --work-dir ${signing_dir}
                     --sign-script ${PROJECT_SOURCE_DIR}/tools/packaging/release/sign_program.py
                     --zip-script ${PROJECT_SOURCE_DIR}/tools/packaging/release/release_zip.py
                     --openssl ${FWUPGRADE_OPENSSL} --osslsigncode ${FWUPGRADE_OSSLSIGNCODE}
                     --component $<TARGET_FILE:${component}> -- ${ARGN})
    set_tests_properties(${target}_signed PROPERTIES LABELS release FIXTURES_SETUP signed_program)
  else()
    add_test(NAME ${target}_signed
             COMMAND ${FWUPGRADE_PYTHON} -c "print('SKIPPED: signing needs osslsigncode and openssl (scripts/install-deps.sh)'); raise SystemExit(77)")
    set_tests_properties(${target}_signed PROPERTIES LABELS release SKIP_RETURN_CODE 77)
  endif()
endfunction()
