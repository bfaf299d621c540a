# The shipped binaries run with administrator rights from whatever folder the
# operator copied them to. A library imported by name that is not one the
# system always takes from its own folder (a KnownDLL) would be looked for
# beside the program first, where anyone who can write that folder can put
# their own. So each shipped binary is checked once it is linked, and the
# build fails when it imports anything else.

# The libraries Windows maps from its KnownDLLs list, plus ntdll, which every
# process has before any search.
set(CM_KNOWN_DLLS
  kernel32 user32 gdi32 advapi32 shell32 msvcrt ole32 oleaut32 comdlg32 shlwapi ws2_32 imm32
  psapi setupapi rpcrt4 sechost combase normaliz nsi wldap32 imagehlp difxapi gdiplus msctf
  clbcatq coml2 shcore ntdll)

# The operator's guide names the oldest Windows the program runs on, and the
# build compiles for it (_WIN32_WINNT, WINVER). A function imported from a
# later Windows would stop the program at start on that one, so each
# function a binary imports from the system's libraries is compiled, taking
# its address, against the mingw-w64 headers under that minimum: the
# headers' own version guards refuse one that is newer. The C runtime's
# names are left out: they carry no such guards (msvcrt.dll has them since
# long before the minimum), and its start-up entries have no declaration.
set(CM_WINDOWS_MINIMUM 0x0601)  # Windows 7

# Fails the check: the binary is removed, so that the next build links it again.
function(cm_refuse_binary why)
  file(REMOVE ${FILE})
  message(FATAL_ERROR "check-imports: ${FILE} ${why}")
endfunction()

# The functions FILE imports from libraries other than the C runtime, in
# the objdump dump given, that the headers under MINIMUM do not declare.
function(cm_newer_than_minimum dump out)
  # Each library's block: its name, then one line a function, each after a tab.
  string(REGEX MATCHALL "DLL Name: [^\n]+\n(\t[^\n]*\n)*" blocks "${dump}")
  set(functions "")
  foreach(block IN LISTS blocks)
    string(REGEX MATCH "^DLL Name: *([^\n]+)" head "${block}")
    string(STRIP "${CMAKE_MATCH_1}" library)
    string(TOLOWER "${library}" library)
    if(library STREQUAL "msvcrt.dll")
      continue()
    endif()
    string(REGEX MATCHALL "\n\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_][A-Za-z0-9_]*" lines "${block}")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE ".* " "" function "${line}")
      list(APPEND functions ${function})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES functions)
  set(source "#include <windows.h>\n#include <shellapi.h>\n#include <tlhelp32.h>\n#include <sddl.h>\n#include <aclapi.h>\n")
  foreach(function IN LISTS functions)
    string(APPEND source "void *const cm_${function} = (void *)&${function};\n")
  endforeach()
  set(unit ${FILE}.imports.c)
  file(WRITE ${unit} "${source}")
  # In the C locale the compiler quotes names with plain apostrophes.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
                          ${CC} -fsyntax-only -D_WIN32_WINNT=${MINIMUM} -DWINVER=${MINIMUM} ${unit}
                  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE rc)
  file(REMOVE ${unit})
  set(newer "")
  if(NOT rc EQUAL 0)
    string(REGEX MATCHALL "'[A-Za-z_][A-Za-z0-9_]*' undeclared" undeclared "${errors}")
    foreach(item IN LISTS undeclared)
      string(REGEX REPLACE "'([^']+)'.*" "\\1" function "${item}")
      list(APPEND newer ${function})
    endforeach()
    if(NOT newer)
      cm_refuse_binary("cannot be checked against Windows ${MINIMUM}: ${errors}")
    endif()
    list(REMOVE_DUPLICATES newer)
  endif()
  set(${out} "${newer}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
  # cmake -DOBJDUMP= -DFILE= [-DALLOW=a,b] [-DCC= -DMINIMUM=0x0601] -P check-imports.cmake
  # On failure the binary is removed, so that the next build links it again.
  if(ALLOW)
    string(REPLACE "," ";" ALLOW "${ALLOW}")
  else()
    set(ALLOW ${CM_KNOWN_DLLS})
  endif()
  list(TRANSFORM ALLOW TOLOWER)
  execute_process(COMMAND ${OBJDUMP} -p ${FILE}
                  OUTPUT_VARIABLE dump ERROR_VARIABLE errors RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    cm_refuse_binary("cannot be read by ${OBJDUMP}: ${errors}")
  endif()
  # Both the ordinary and the delay-load tables list their libraries so.
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
  set(outside "")
  foreach(line IN LISTS names)
    string(REGEX REPLACE "^DLL Name: *" "" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" lower)
    string(REGEX REPLACE "\\.dll$" "" base "${lower}")
    if(NOT base IN_LIST ALLOW)
      list(APPEND outside ${name})
    endif()
  endforeach()
  if(outside)
    list(REMOVE_DUPLICATES outside)
    list(JOIN outside ", " outside)
    cm_refuse_binary("imports ${outside}, outside the libraries it may use")
  endif()
  if(MINIMUM)
    cm_newer_than_minimum("${dump}" newer)
    if(newer)
      list(JOIN newer ", " newer)
      cm_refuse_binary("imports ${newer}, which Windows ${MINIMUM} does not have")
    endif()
  endif()
  return()
endif()

# Checks target's imports after every link against the KnownDLLs, or against
# the narrower list given after ALLOW (names without .dll), and against the
# oldest Windows the program is for.
function(cm_check_imports target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "ALLOW")
  list(JOIN arg_ALLOW "," allow)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:${target}>
            -DALLOW=${allow} -DCC=${CMAKE_C_COMPILER} -DMINIMUM=${CM_WINDOWS_MINIMUM}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    VERBATIM)
endfunction()
