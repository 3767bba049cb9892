# The release programs as users get them: no debugging sections, no code the program does
# not reach, and the same bytes from every build of the same sources, wherever and
# whenever it runs.
#
#   fwupgrade_release_program(<target>)   what only the shipped program gets (below)
#
# The shipped program's pieces have files of their own: its signing (ReleaseSigning.cmake),
# its zip (ReleaseZip.cmake) and its reproducibility check (ReleaseReproducible.cmake).

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

include(${CMAKE_CURRENT_LIST_DIR}/ReleaseSigning.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/ReleaseZip.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/ReleaseReproducible.cmake)

# The shipped program.  On Windows: without the runtime's verbose terminate handler
# (platform's fw_release_runtime); checked by a test to come out the same from a second
# build in other folders, with the USB camera component of its architecture (usbcamera/);
# both signed when a key is named; and packaged for users with the component and its id
# table by the target release_zip:
#
#   cmake --build --preset windows-x86 --target release_zip
#       -> build/windows-x86/release/fwupgrade-windows-x86.zip (and .zip.sha256)
function(fwupgrade_release_program target)
  if(NOT WIN32)
    return()
  endif()
  target_link_libraries(${target} PRIVATE fw_release_runtime)

  if(CMAKE_SYSTEM_PROCESSOR MATCHES "64")
    set(arch x64)
  else()
    set(arch x86)
  endif()
  # The USB camera component (usbcamera/, added after this) ships in a folder of its own
  # beside the program, where the program creates it side by side.
  set(component usbcamera)
  fwupgrade_signed_release(shipped ${target} ${component})
  list(GET shipped 0 shipped_program)
  list(GET shipped 1 shipped_component)

  get_target_property(resources_dir fw_resources BINARY_DIR)
  set(data_args --data-dir ${resources_dir}/data --catalogue ${PROJECT_SOURCE_DIR}/resources/Messages.rc)
  set(table_args --model-table ${CMAKE_BINARY_DIR}/usbcamera/usb-models.txt)
  fwupgrade_release_zip(${CMAKE_BINARY_DIR}/release/${target}-windows-${arch}.zip
    PROGRAM ${shipped_program} COMPONENT ${shipped_component} ARGUMENTS ${table_args} ${data_args}
    DEPENDS ${target} ${component})
  if(BUILD_TESTING)
    fwupgrade_reproducible_test(${target} ${component})
    fwupgrade_release_zip_test(--program $<TARGET_FILE:${target}> --component $<TARGET_FILE:${component}>
                               ${table_args} ${data_args})
    fwupgrade_signing_test(${target} ${component} ${table_args} ${data_args})
  endif()
endfunction()
