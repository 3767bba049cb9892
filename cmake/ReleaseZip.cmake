# The release zip users download: the program, the read-me in the catalogue's languages,
# checksums, and the USB camera component with its id table in the folder usbcamera/, where
# the program looks for them; the same bytes from the same inputs
# (tools/packaging/release/release_zip.py).  Included by cmake/Release.cmake.
#
#   fwupgrade_release_zip(<zip> PROGRAM <file> COMPONENT <file> ARGUMENTS <arguments>...)
#       the target release_zip, which packs the shipped files (signed or not) into <zip>

function(fwupgrade_release_zip zip)
  cmake_parse_arguments(ARG "" "PROGRAM;COMPONENT" "ARGUMENTS;DEPENDS" ${ARGN})
  add_custom_target(release_zip
    COMMAND ${FWUPGRADE_PYTHON} ${PROJECT_SOURCE_DIR}/tools/packaging/release/release_zip.py --program ${ARG_PROGRAM}
            --component ${ARG_COMPONENT} ${ARG_ARGUMENTS} --output ${zip}
    DEPENDS ${ARG_DEPENDS} ${ARG_PROGRAM} ${ARG_COMPONENT} ${PROJECT_SOURCE_DIR}/tools/packaging/release/release_zip.py
            ${PROJECT_SOURCE_DIR}/tools/packaging/release/ReadMe.txt
    COMMENT "Packaging ${zip}"
    VERBATIM)
endfunction()

# The zip made twice from the same built files, under another time zone and umask: the
# same bytes (tests/release/check_release_zip.py).
function(fwupgrade_release_zip_test)
  add_test(NAME release_zip_reproducible
           COMMAND ${FWUPGRADE_PYTHON} ${PROJECT_SOURCE_DIR}/tests/release/check_release_zip.py
                   --script ${PROJECT_SOURCE_DIR}/tools/packaging/release/release_zip.py
                   --work-dir ${CMAKE_BINARY_DIR}/release-check -- ${ARGN})
  set_tests_properties(release_zip_reproducible PROPERTIES LABELS release)
endfunction()
