# The release programs as users get them: no debugging sections, no code the program does
# not reach, and the same bytes from every build of the same sources, wherever and
# whenever it runs.
#
#   fwupgrade_release_program(<target>)   what only the shipped program gets (below)

set(_release "$<CONFIG:Release,MinSizeRel>")

# Every compiled path is written relative to the source or the build folder, in __FILE__
# and anything else the compiler records.  The build folder's map comes last, so it wins
# where the build folder lies inside the source folder.  (Debug builds keep full paths
# for the debugger.)
add_compile_options("$<${_release}:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=;-ffile-prefix-map=${PROJECT_BINARY_DIR}/=>")
# Each function and object in a section of its own, so that the linker drops those that
# nothing reaches; -s leaves the symbol table and the runtime's debugging sections out.
add_compile_options("$<${_release}:-ffunction-sections;-fdata-sections>")
add_link_options("$<${_release}:LINKER:--gc-sections;-s>")

if(WIN32)
  # The program is mostly its payload; its code is sized for download, not speed (it waits
  # on the user and the card, never on the processor).
  add_compile_options("$<${_release}:-Os>")
  # A PE header carries the link time unless told otherwise.
  add_link_options(LINKER:--no-insert-timestamp)
endif()

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

# The arguments of tools/release/sign_program.py for the credentials named above, in
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

# The shipped program.  On Windows: without the runtime's verbose terminate handler;
# checked by a test to come out the same from a second build in other folders, with the
# USB camera component of its architecture (usbcamera/); both signed when a key is named
# (above); and packaged for users with the component and its id table by the target
# release_zip:
#
#   cmake --build --preset windows-x86 --target release_zip
#       -> build/windows-x86/release/fwupgrade-windows-x86.zip (and .zip.sha256)
function(fwupgrade_release_program target)
  if(NOT WIN32)
    return()
  endif()
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/win32/runtime/QuietTerminate.cpp)

  if(CMAKE_SYSTEM_PROCESSOR MATCHES "64")
    set(arch x64)
  else()
    set(arch x86)
  endif()
  # The program the zip holds: the built one, or a signed copy of it.  The built program
  # itself is never signed, so it stays the same from every build.
  # The USB camera component (usbcamera/, added after this): its DLL, the same way.
  set(component usbcamera)
  set(shipped $<TARGET_FILE:${target}>)
  set(shipped_component $<TARGET_FILE:${component}>)
  set(sign_script ${PROJECT_SOURCE_DIR}/tools/release/sign_program.py)
  _fwupgrade_signing_arguments(sign_args)
  if(sign_args)
    set(shipped ${CMAKE_BINARY_DIR}/release/signed/${target}.exe)
    set(shipped_component ${CMAKE_BINARY_DIR}/release/signed/${component}.dll)
    foreach(pair "${target}|${shipped}" "${component}|${shipped_component}")
      string(REPLACE "|" ";" pair "${pair}")
      list(GET pair 0 signed)
      list(GET pair 1 output)
      add_custom_command(
        OUTPUT ${output}
        COMMAND ${FWUPGRADE_PYTHON} ${sign_script} --program $<TARGET_FILE:${signed}> --output ${output} ${sign_args}
        DEPENDS ${signed} ${sign_script}
        COMMENT "Signing ${signed} for the release"
        VERBATIM)
    endforeach()
  endif()

  get_target_property(resources_dir fw_resources BINARY_DIR)
  set(data_args --data-dir ${resources_dir}/data --catalogue ${PROJECT_SOURCE_DIR}/resources/Messages.rc)
  set(table_args --model-table ${CMAKE_BINARY_DIR}/usbcamera/usb-models.txt)
  set(zip_args --program $<TARGET_FILE:${target}> --component $<TARGET_FILE:${component}> ${table_args} ${data_args})
  set(zip ${CMAKE_BINARY_DIR}/release/${target}-windows-${arch}.zip)
  add_custom_target(release_zip
    COMMAND ${FWUPGRADE_PYTHON} ${PROJECT_SOURCE_DIR}/tools/release/release_zip.py --program ${shipped}
            --component ${shipped_component} ${table_args} ${data_args} --output ${zip}
    DEPENDS ${target} ${component} ${shipped} ${shipped_component} ${PROJECT_SOURCE_DIR}/tools/release/release_zip.py
            ${PROJECT_SOURCE_DIR}/tools/release/ReadMe.txt
    COMMENT "Packaging ${zip}"
    VERBATIM)
  if(BUILD_TESTING)
    # The settings that shape the program, as an initial cache for the second build.
    set(settings ${CMAKE_BINARY_DIR}/${target}-release-settings.cmake)
    set(lines)
    foreach(var CMAKE_TOOLCHAIN_FILE CMAKE_BUILD_TYPE FWUPGRADE_WERROR FWUPGRADE_MODEL_NAME
                FWUPGRADE_PACKAGE_FILE_NAME FWUPGRADE_VERSION_LABEL FWUPGRADE_PAYLOAD_FILE
                FWUPGRADE_PAYLOAD_SIZE FWUPGRADE_COMPANY_NAME)
      string(APPEND lines "set(${var} [==[${${var}}]==] CACHE STRING \"\")\n")
    endforeach()
    file(WRITE ${settings} "${lines}")
    add_test(NAME ${target}_reproducible
             COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DWORK=${CMAKE_BINARY_DIR}/reproducible
                     -DPROGRAM=$<TARGET_FILE:${target}> -DTARGET=${target}
                     -DCOMPONENT=$<TARGET_FILE:${component}> -DCOMPONENT_TARGET=${component}
                     -DSETTINGS=${settings} -P ${PROJECT_SOURCE_DIR}/cmake/CheckReproducible.cmake)
    set_tests_properties(${target}_reproducible PROPERTIES LABELS release)
    add_test(NAME release_zip_reproducible
             COMMAND ${FWUPGRADE_PYTHON} ${PROJECT_SOURCE_DIR}/tests/release/check_release_zip.py
                     --script ${PROJECT_SOURCE_DIR}/tools/release/release_zip.py
                     --work-dir ${CMAKE_BINARY_DIR}/release-check -- ${zip_args})
    set_tests_properties(release_zip_reproducible PROPERTIES LABELS release)

    # The signing step with a throwaway authority made at test time; it leaves the signed
    # program for the whole-program rows (tests/e2e), which run it as users get it.
    set(signing_dir ${CMAKE_BINARY_DIR}/signing)
    set(FWUPGRADE_SIGNED_TEST_PROGRAM ${signing_dir}/${target}.exe CACHE INTERNAL "")
    if(FWUPGRADE_OSSLSIGNCODE AND FWUPGRADE_OPENSSL)
      add_test(NAME ${target}_signed
               COMMAND ${FWUPGRADE_PYTHON} ${PROJECT_SOURCE_DIR}/tests/release/check_signing.py
                       --program $<TARGET_FILE:${target}> --work-dir ${signing_dir}
                       --sign-script ${sign_script} --zip-script ${PROJECT_SOURCE_DIR}/tools/release/release_zip.py
                       --openssl ${FWUPGRADE_OPENSSL} --osslsigncode ${FWUPGRADE_OSSLSIGNCODE}
                       --component $<TARGET_FILE:${component}> -- ${table_args} ${data_args})
      set_tests_properties(${target}_signed PROPERTIES LABELS release FIXTURES_SETUP signed_program)
    else()
      add_test(NAME ${target}_signed
               COMMAND ${FWUPGRADE_PYTHON} -c "print('SKIPPED: signing needs osslsigncode and openssl (scripts/install-deps.sh)'); raise SystemExit(77)")
      set_tests_properties(${target}_signed PROPERTIES LABELS release SKIP_RETURN_CODE 77)
    endif()
  endif()
endfunction()
