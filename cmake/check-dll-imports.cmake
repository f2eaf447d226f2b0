# Checks that a DLL imports only from Windows system DLLs, so that Sprig.dll
# runs on a bare Windows without MinGW runtime DLLs (libgcc, libstdc++,
# winpthread) beside it.
# Usage: cmake -DOBJDUMP=<objdump> -DDLL=<file.dll> -P check-dll-imports.cmake
if(NOT OBJDUMP OR NOT DLL)
  message(FATAL_ERROR "usage: cmake -DOBJDUMP=<objdump> -DDLL=<file.dll> -P check-dll-imports.cmake")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${DLL}
                OUTPUT_VARIABLE dump RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed: ${err}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
set(allowed "^(kernel32|user32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
set(bad "")
set(all "")
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" lower)
  list(APPEND all ${name})
  if(NOT lower MATCHES "${allowed}")
    list(APPEND bad ${name})
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "${DLL} imports from non-system DLLs: ${bad} (all imports: ${all})")
endif()
message(STATUS "${DLL} imports only: ${all}")
