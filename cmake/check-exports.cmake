# Checks that a shared library exports exactly the functions declared in its
# public headers: the DLL's export table (objdump -p) or the .so's dynamic
# symbols (nm -D) against every "SG_CALL name(" of include/sprig.h (and, for
# the editing layer's library, of EXTRA_HEADER = include/sprig_exact.h).
# Outside Windows the library also exports the three global-memory calls a
# caller needs to free outer-XML results.
# Usage: cmake -DTOOL=<objdump|nm> -DLIB=<library> -DHEADER=<sprig.h>
#              [-DEXTRA_HEADER=<sprig_exact.h>] -DWINDOWS=<0|1> -P check-exports.cmake
if(NOT TOOL OR NOT LIB OR NOT HEADER)
  message(FATAL_ERROR "usage: cmake -DTOOL=.. -DLIB=.. -DHEADER=.. -DWINDOWS=0|1 -P check-exports.cmake")
endif()

file(READ "${HEADER}" header)
if(EXTRA_HEADER)
  file(READ "${EXTRA_HEADER}" extra_header)
  string(APPEND header "${extra_header}")
endif()
string(REGEX MATCHALL "SG_CALL [A-Za-z0-9_]+\\(" decls "${header}")
set(declared "")
foreach(d IN LISTS decls)
  string(REGEX REPLACE "SG_CALL ([A-Za-z0-9_]+)\\(" "\\1" name "${d}")
  list(APPEND declared ${name})
endforeach()

if(WINDOWS)
  execute_process(COMMAND ${TOOL} -p ${LIB} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  # Only the name table that follows "[Ordinal/Name Pointer] Table".
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
  if(rc OR at EQUAL -1)
    message(FATAL_ERROR "no export table in ${LIB}")
  endif()
  string(SUBSTRING "${dump}" ${at} -1 dump)
  string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [A-Za-z0-9_@]+" rows "${dump}")
  set(exported "")
  foreach(r IN LISTS rows)
    string(REGEX REPLACE ".*\\] " "" name "${r}")
    list(APPEND exported ${name})
  endforeach()
else()
  execute_process(COMMAND ${TOOL} -D --defined-only ${LIB} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${TOOL} failed on ${LIB}")
  endif()
  string(REGEX MATCHALL "[0-9a-f]+ [TtWi] [A-Za-z0-9_@.]+" rows "${dump}")
  set(exported "")
  foreach(r IN LISTS rows)
    string(REGEX REPLACE "^[0-9a-f]+ [TtWi] " "" name "${r}")
    list(APPEND exported ${name})
  endforeach()
  list(APPEND declared GlobalHandle GlobalUnlock GlobalFree)
endif()

list(REMOVE_DUPLICATES declared)
list(REMOVE_DUPLICATES exported)
set(missing ${declared})
list(REMOVE_ITEM missing ${exported})
set(extra ${exported})
list(REMOVE_ITEM extra ${declared})
list(LENGTH declared nd)
list(LENGTH exported ne)
if(missing OR extra)
  message(FATAL_ERROR "${LIB}: ${ne} exports, ${nd} expected\n  missing: ${missing}\n  extra: ${extra}")
endif()
message(STATUS "${LIB} exports exactly the ${nd} declared names")
