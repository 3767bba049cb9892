# Tests of a cross build run under Wine through cmake/wine-run.sh, which prints
# "wine-run: skipped: REASON" and exits with 77 where the host cannot run the build's
# programs at all.  CTest reports such a test as skipped, never as passed or failed.
function(fwupgrade_mark_wine_skips dir)
  get_property(tests DIRECTORY ${dir} PROPERTY TESTS)
  if(tests)
    set_tests_properties(${tests} PROPERTIES SKIP_REGULAR_EXPRESSION "wine-run: skipped:")
  endif()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    fwupgrade_mark_wine_skips(${subdir})
  endforeach()
endfunction()
