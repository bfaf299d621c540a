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

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
  # cmake -DOBJDUMP= -DFILE= [-DALLOW=a,b] -P check-imports.cmake
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
    file(REMOVE ${FILE})
    message(FATAL_ERROR "check-imports: ${OBJDUMP} cannot read ${FILE}: ${errors}")
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
    file(REMOVE ${FILE})
    message(FATAL_ERROR "check-imports: ${FILE} imports ${outside}, outside the libraries it may use")
  endif()
  return()
endif()

# Checks target's imports after every link against the KnownDLLs, or against
# the narrower list given after ALLOW (names without .dll).
function(cm_check_imports target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "ALLOW")
  list(JOIN arg_ALLOW "," allow)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:${target}>
            -DALLOW=${allow} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    VERBATIM)
endfunction()
