# Builds the program and the tests that go through the catalogue's languages once more,
# from a copy of the sources whose resource script and owners' read-me have one language
# more (Dutch), and runs them: nothing but those two files may have to change for a
# language to be added.
#
#   cmake -DSOURCE=<source folder> -DWORK=<scratch folder> -DSETTINGS=<initial cache>
#         -DPYTHON=<python> -P CheckExtraLanguage.cmake
#
# SETTINGS holds the cache settings of the first build that shape it (compilers, build
# type); the copy builds only the targets of the tests it runs, to stay cheap.
cmake_minimum_required(VERSION 3.25)
foreach(var SOURCE WORK SETTINGS PYTHON)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckExtraLanguage.cmake needs -D${var}=...")
  endif()
endforeach()

set(copy ${WORK}/source)
set(build ${WORK}/build)
file(REMOVE_RECURSE ${WORK})
include(${SOURCE}/cmake/CopySources.cmake)
fwupgrade_copy_sources(${SOURCE} ${copy})

set(here ${CMAKE_CURRENT_LIST_DIR})
file(READ ${here}/Dutch.rc dutch)
file(APPEND ${copy}/resources/Messages.rc "${dutch}")
file(READ ${here}/ReadMe-Dutch.txt dutch_read_me)
file(APPEND ${copy}/tools/packaging/release/ReadMe.txt "${dutch_read_me}")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

run("configuring the build with an extra language"
    ${CMAKE_COMMAND} -C ${SETTINGS} -S ${copy} -B ${build} -G Ninja)
run("building it"
    ${CMAKE_COMMAND} --build ${build} --target fwupgrade simcamera resources_tests)
run("its tests" ${CMAKE_CTEST_COMMAND} --test-dir ${build} --output-on-failure -V
    -R "^(resources_tests|resources_tests_german|e2e_posix|e2e_posix_languages)$")
# The Dutch rows must have run, not only every other language's.
foreach(row "PASS nl_NL.UTF-8: success" "PASS nl_NL.UTF-8: no camera")
  string(FIND "${output}" "${row}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the whole-program rows in Dutch did not run:\n${output}")
  endif()
endforeach()

# The owners' read-me of the release takes the new language's caption.
run("the release package"
    ${PYTHON} ${copy}/tools/packaging/release/release_zip.py --program ${build}/app/fwupgrade
    --data-dir ${build}/resources/data --catalogue ${copy}/resources/Messages.rc --output ${WORK}/release.zip)
file(ARCHIVE_EXTRACT INPUT ${WORK}/release.zip DESTINATION ${WORK}/release)
file(READ ${WORK}/release/ReadMe.txt output)
string(FIND "${output}" "QUELDA Digitale Camera Firmware-upgradeprogramma" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the release read-me lacks the Dutch caption:\n${output}")
endif()
message(STATUS "with Dutch added: the catalogue's tests, the whole-program rows and the release read-me pass")
file(REMOVE_RECURSE ${WORK})
