# Resources for programs and tests (resources/CMakeLists.txt makes the utility's own):
#
#   fwupgrade_add_resource_library(<name> SCRIPT <script.rc> ...)   a library of resources
#   fwupgrade_add_resources(<target>)                                the utility's resources
#   fwupgrade_add_program_resources(<target>)                        the Windows program's
#                                                                    manifest and version
#
# Windows builds compile a script with the resource compiler; POSIX builds embed what the
# same script defines as a generated C++ resource directory.  The generator, tools/build/resgen,
# is Python 3 run on the build host, so cross builds need nothing of the target for it.

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(FWUPGRADE_PYTHON ${Python3_EXECUTABLE})

set(FWUPGRADE_RESGEN ${PROJECT_SOURCE_DIR}/tools/build/resgen/resgen.py)
set(FWUPGRADE_RESGEN_SOURCES
    ${PROJECT_SOURCE_DIR}/tools/build/resgen/resgen.py
    ${PROJECT_SOURCE_DIR}/tools/build/resgen/rcscript.py
    ${PROJECT_SOURCE_DIR}/tools/build/resgen/camera_icon.py
    ${PROJECT_SOURCE_DIR}/tools/build/resgen/component_manifest.py
    ${PROJECT_SOURCE_DIR}/tools/build/resgen/program_info.py)

# A resource compiler that writes .res files, for checking the embedded directory of
# native builds against it; Windows builds use their own.
if(WIN32)
  set(FWUPGRADE_WINDRES ${CMAKE_RC_COMPILER})
else()
  find_program(FWUPGRADE_WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres windres)
endif()

# fwupgrade_add_resource_library(<name> SCRIPT <script.rc> [INCLUDE_DIRS <dir>...]
#                                [DEPENDS <file>...] [RES_FILE <var>])
#
# An object library that gives every program linking it the resources <script.rc>
# defines.  INCLUDE_DIRS are searched for the files the script names; DEPENDS are the
# files it reads besides itself.  RES_FILE names a variable that receives the path of a
# .res file the resource compiler writes from the same script (empty without one).
function(fwupgrade_add_resource_library name)
  cmake_parse_arguments(ARG "" "SCRIPT;RES_FILE" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  get_filename_component(script ${ARG_SCRIPT} ABSOLUTE)
  set(include_flags)
  foreach(dir ${ARG_INCLUDE_DIRS})
    list(APPEND include_flags -I ${dir})
  endforeach()

  if(WIN32)
    add_library(${name} OBJECT ${script})
    # The compiler warning options of the project mean nothing to the resource compiler.
    set_property(TARGET ${name} PROPERTY COMPILE_OPTIONS "")
    target_include_directories(${name} PRIVATE ${ARG_INCLUDE_DIRS})
    set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS "${ARG_DEPENDS}")
  else()
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
    add_custom_command(
      OUTPUT ${generated}
      COMMAND ${FWUPGRADE_PYTHON} ${FWUPGRADE_RESGEN} embed ${script} ${generated} ${include_flags}
              --depfile ${generated}.d
      DEPENDS ${script} ${ARG_DEPENDS} ${FWUPGRADE_RESGEN_SOURCES}
      DEPFILE ${generated}.d
      COMMENT "Embedding the resources of ${ARG_SCRIPT}"
      VERBATIM)
    add_library(${name} OBJECT ${generated})
    # The payload is one string literal of its full size, beyond the length the standard
    # asks every compiler to accept; GCC and Clang both take it.
    set_source_files_properties(${generated} PROPERTIES COMPILE_OPTIONS -Wno-overlength-strings)
    target_link_libraries(${name} PRIVATE fw_platform)
  endif()

  if(ARG_RES_FILE)
    set(res_file "")
    if(FWUPGRADE_WINDRES)
      set(res_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.res)
      add_custom_command(
        OUTPUT ${res_file}
        COMMAND ${FWUPGRADE_WINDRES} ${include_flags} --input-format=rc --output-format=res
                -o ${res_file} ${script}
        DEPENDS ${script} ${ARG_DEPENDS}
        COMMENT "Compiling ${ARG_SCRIPT} to a .res file"
        VERBATIM)
      add_custom_target(${name}_res DEPENDS ${res_file})
    endif()
    set(${ARG_RES_FILE} ${res_file} PARENT_SCOPE)
  endif()
endfunction()

# Gives <target> the utility's resources.
function(fwupgrade_add_resources target)
  target_link_libraries(${target} PRIVATE fw_resources)
endfunction()

# Gives the Windows program <target> its manifest and version resource; nothing elsewhere.
function(fwupgrade_add_program_resources target)
  if(WIN32)
    target_link_libraries(${target} PRIVATE fw_program_resources)
  endif()
endfunction()
