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

# The shipped program: on Windows, without the runtime's verbose terminate handler.
function(fwupgrade_release_program target)
  if(WIN32)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/win32/runtime/QuietTerminate.cpp)
  endif()
endfunction()
