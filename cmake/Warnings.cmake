# One place for compiler warnings: all on, and errors where the preset asks for it.
option(FWUPGRADE_WERROR "Treat warnings as errors" OFF)
option(FWUPGRADE_SANITIZE "Build with address and undefined-behaviour sanitizers" OFF)

add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
                    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
                    -Wdouble-promotion -Wformat=2)
if(FWUPGRADE_WERROR)
  add_compile_options(-Werror)
endif()

if(FWUPGRADE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # The programs must run when copied alone onto a clean Windows machine.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Third-party code (GoogleTest) is compiled without our warning set.
function(fwupgrade_relax_warnings target)
  target_compile_options(${target} PRIVATE -w)
endfunction()
