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

# The shipped program.  On Windows: without the runtime's verbose terminate handler;
# checked by a test to come out the same from a second build in other folders; and
# packaged for users by the target release_zip:
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
  get_target_property(resources_dir fw_resources BINARY_DIR)
  set(zip_args --program $<TARGET_FILE:${target}> --data-dir ${resources_dir}/data
               --catalogue ${PROJECT_SOURCE_DIR}/resources/Messages.rc)
  set(zip ${CMAKE_BINARY_DIR}/release/${target}-windows-${arch}.zip)
  add_custom_target(release_zip
    COMMAND ${FWUPGRADE_PYTHON} ${PROJECT_SOURCE_DIR}/tools/release/release_zip.py ${zip_args} --output ${zip}
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/tools/release/release_zip.py ${PROJECT_SOURCE_DIR}/tools/release/ReadMe.txt
    COMMENT "Packaging ${zip}"
    VERBATIM)
  if(BUILD_TESTING)
    # The settings that shape the program, as an initial cache for the second build.
    set(settings ${CMAKE_BINARY_DIR}/${target}-release-settings.cmake)
    set(lines)
    foreach(var CMAKE_TOOLCHAIN_FILE CMAKE_BUILD_TYPE FWUPGRADE_WERROR FWUPGRADE_MODEL_NAME
                FWUPGRADE_PACKAGE_FILE_NAME FWUPGRADE_VERSION_LABEL FWUPGRADE_PAYLOAD_FILE
                FWUPGRADE_PAYLOAD_SIZE)
      string(APPEND lines "set(${var} [==[${${var}}]==] CACHE STRING \"\")\n")
    endforeach()
    file(WRITE ${settings} "${lines}")
    add_test(NAME ${target}_reproducible
             COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DWORK=${CMAKE_BINARY_DIR}/reproducible
                     -DPROGRAM=$<TARGET_FILE:${target}> -DTARGET=${target} -DSETTINGS=${settings}
                     -P ${PROJECT_SOURCE_DIR}/cmake/CheckReproducible.cmake)
    set_tests_properties(${target}_reproducible PROPERTIES LABELS release)
    add_test(NAME release_zip_reproducible
             COMMAND ${FWUPGRADE_PYTHON} ${PROJECT_SOURCE_DIR}/tests/release/check_release_zip.py
                     --script ${PROJECT_SOURCE_DIR}/tools/release/release_zip.py
                     --work-dir ${CMAKE_BINARY_DIR}/release-check -- ${zip_args})
    set_tests_properties(release_zip_reproducible PROPERTIES LABELS release)
  endif()
endfunction()
