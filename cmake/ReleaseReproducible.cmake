# The shipped program's reproducibility: a test that builds it a second time, in other
# folders, from the same settings, and compares it and the USB camera component byte for
# byte with the first build (cmake/CheckReproducible.cmake).  Included by cmake/Release.cmake.
#
#   fwupgrade_reproducible_test(<target> <component>)

function(fwupgrade_reproducible_test target component)
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
  # A second build of the program, about a minute: started among the first.
  set_tests_properties(${target}_reproducible PROPERTIES LABELS release COST 70)
endfunction()
