# Builds the program a second time, from a copy of the sources in another folder, into
# another build folder, and fails unless the two program files are byte for byte the same:
# nothing of the folders or of the time of the build may reach the program.  The same for
# a component shipped beside it, when named.
#
#   cmake -DSOURCE=<source folder> -DWORK=<scratch folder> -DPROGRAM=<built program>
#         -DTARGET=<target> [-DCOMPONENT=<built DLL> -DCOMPONENT_TARGET=<its target>]
#         -DSETTINGS=<initial cache> -P CheckReproducible.cmake
#
# SETTINGS holds the cache settings of the first build that shape the program (toolchain,
# build type, resource options); paths in it under SOURCE are taken from the copy.  The
# copy is built without a compiler launcher, so no cache can stand in for the compiler.
cmake_minimum_required(VERSION 3.25)
foreach(var SOURCE WORK PROGRAM TARGET SETTINGS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckReproducible.cmake needs -D${var}=...")
  endif()
endforeach()

set(copy ${WORK}/source)
set(build ${WORK}/build)
file(REMOVE_RECURSE ${WORK})
include(${CMAKE_CURRENT_LIST_DIR}/CopySources.cmake)
fwupgrade_copy_sources(${SOURCE} ${copy})

file(READ ${SETTINGS} settings)
string(REPLACE "${SOURCE}/" "${copy}/" settings "${settings}")
file(WRITE ${WORK}/settings.cmake "${settings}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -C ${WORK}/settings.cmake -S ${copy} -B ${build} -G Ninja -DBUILD_TESTING=OFF
          -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER=
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring the second build in ${build} failed")
endif()
set(targets ${TARGET})
set(files ${PROGRAM})
if(DEFINED COMPONENT_TARGET)
  list(APPEND targets ${COMPONENT_TARGET})
  list(APPEND files ${COMPONENT})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --target ${targets}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the second build failed:\n${output}")
endif()

foreach(first ${files})
  get_filename_component(name ${first} NAME)
  file(GLOB_RECURSE second ${build}/${name})
  if(NOT second)
    message(FATAL_ERROR "the second build made no ${name}")
  endif()
  file(SHA256 ${first} first_sum)
  file(SHA256 ${second} second_sum)
  if(NOT first_sum STREQUAL second_sum)
    message(FATAL_ERROR "${name} differs between two builds of the same sources:\n"
                        "  ${first}  ${first_sum}\n  ${second}  ${second_sum}")
  endif()
  message(STATUS "${name}: the same ${first_sum} from ${SOURCE} and from ${copy}")
endforeach()
file(REMOVE_RECURSE ${WORK})
