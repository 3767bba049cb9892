# Tests that play against the simulated camera component (simcamera):
#
#   simcamera_use_in_test(<test>)

# Adds the CTest fixture NAME that registers the simulated component for the tests that
# require it: in the build's Wine prefix with regsvr32 on Windows, in REGISTRY_DIR (the
# tests' POSIXCOM_REGISTRY) on POSIX.
function(simcamera_add_registration_fixture name registry_dir)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} regsvr32 /s "Z:$<TARGET_FILE:simcamera>")
  else()
    add_test(NAME ${name}
             COMMAND sh ${PROJECT_SOURCE_DIR}/platform/posix/register-plugin.sh $<TARGET_FILE:simcamera> ${registry_dir})
  endif()
  set_tests_properties(${name} PROPERTIES FIXTURES_SETUP ${name})
endfunction()

# Lets the CTest entry TEST play against the simulated component: registers it for TEST
# (fixture TEST_simcamera) and points TEST's environment at a work folder of its own for the
# scenario, the log and (POSIX) the registry.  The folder as the program names it is
# SIMCAMERA_SCENARIO's folder: under Wine the host's root is drive Z:.
function(simcamera_use_in_test test)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${test}-simcamera)
  file(MAKE_DIRECTORY ${work})
  if(WIN32)
    set(seen "Z:${work}")
  else()
    set(seen "${work}")
  endif()
  simcamera_add_registration_fixture(${test}_simcamera ${work}/registry)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
               "SIMCAMERA_SCENARIO=${seen}/scenario.ini" "SIMCAMERA_LOG=${seen}/simcamera.log"
               "POSIXCOM_REGISTRY=${work}/registry")
  set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED ${test}_simcamera)
  add_dependencies(${test} simcamera)
endfunction()
