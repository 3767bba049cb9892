# Fails unless the Windows program or DLL at EXE imports only DLLs that ship with Windows,
# so it runs when copied alone onto a clean machine.
#   cmake -DOBJDUMP=<objdump> -DEXE=<program.exe or component.dll> -P CheckImports.cmake
cmake_minimum_required(VERSION 3.25)
# SETUPAPI and CFGMGR32: the USB camera component's device tree.
set(allowed KERNEL32.dll USER32.dll ole32.dll OLEAUT32.dll msvcrt.dll ADVAPI32.dll SETUPAPI.dll CFGMGR32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} could not read ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "${EXE} imports no DLL at all: the dump was not understood")
endif()
foreach(line ${imports})
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  if(NOT dll IN_LIST allowed)
    message(FATAL_ERROR "${EXE} needs ${dll}, which does not ship with Windows")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
