# fwupgrade_copy_sources(<source folder> <destination>): the checked-in sources, that is
# everything but build output and version control, copied for a second build elsewhere.
function(fwupgrade_copy_sources source destination)
  file(MAKE_DIRECTORY ${destination})
  file(GLOB entries LIST_DIRECTORIES true RELATIVE ${source} ${source}/*)
  foreach(entry ${entries})
    if(NOT entry MATCHES "^(build|out|\\.git)$")
      file(COPY ${source}/${entry} DESTINATION ${destination})
    endif()
  endforeach()
endfunction()
