# The program's version resource, stamped from `git describe` at every build
# (a new commit or an edit shows without a new configure).
#
# A tag such as v1.2.3 gives 1.2.3 as text and 1.2.3.N as the four numbers,
# N being the commits since the tag; without a tag the text is the project
# version with the commit (1.0.0-g1a2b3c4, "-dirty" for uncommitted edits)
# and the numbers are the project version's. Outside a git checkout of this
# tree it is the project version alone.

if(CMAKE_SCRIPT_MODE_FILE)
  # cmake -DSOURCE_DIR= -DPROJECT_VERSION= -DIN= -DOUT= -P version.cmake
  set(CM_VERSION_TEXT ${PROJECT_VERSION})
  set(CM_VERSION_COMMAS "${PROJECT_VERSION}.0")
  find_program(git NAMES git)
  if(git)
    execute_process(COMMAND ${git} rev-parse --show-toplevel WORKING_DIRECTORY ${SOURCE_DIR}
                    OUTPUT_VARIABLE top RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # A source tree unpacked inside some other checkout is not that checkout.
    if(rc EQUAL 0)
      file(REAL_PATH "${top}" top)
      file(REAL_PATH "${SOURCE_DIR}" source)
    endif()
    if(rc EQUAL 0 AND top STREQUAL source)
      execute_process(COMMAND ${git} describe --tags --always --dirty WORKING_DIRECTORY ${SOURCE_DIR}
                      OUTPUT_VARIABLE described RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(NOT rc EQUAL 0)
        set(described "")
      endif()
      if(described MATCHES "^v?([0-9]+)\\.([0-9]+)\\.([0-9]+)(-([0-9]+)-g[0-9a-f]+)?(-dirty)?$")
        set(since 0)
        if(CMAKE_MATCH_5)
          set(since ${CMAKE_MATCH_5})
        endif()
        set(CM_VERSION_COMMAS "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${since}")
        string(REGEX REPLACE "^v" "" CM_VERSION_TEXT "${described}")
      elseif(described MATCHES "^[0-9a-f]+(-dirty)?$")
        set(CM_VERSION_TEXT "${PROJECT_VERSION}-g${described}")
      elseif(described)
        set(CM_VERSION_TEXT "${PROJECT_VERSION}-${described}")
      endif()
    endif()
  endif()
  # The text goes into a resource string and a file name.
  string(REGEX REPLACE "[^A-Za-z0-9._+-]" "_" CM_VERSION_TEXT "${CM_VERSION_TEXT}")
  # Each of the four numbers is 16 bits.
  string(REPLACE "." ";" numbers "${CM_VERSION_COMMAS}")
  foreach(n IN LISTS numbers)
    if(n GREATER 65535)
      string(REPLACE "." ";" numbers "${PROJECT_VERSION}.0")
      break()
    endif()
  endforeach()
  string(REPLACE ";" "," CM_VERSION_COMMAS "${numbers}")
  configure_file(${IN} ${OUT} @ONLY)
  return()
endif()

# Writes header (in the target's binary folder) from template at every build
# of target, which includes it.
function(cm_version_header target template)
  set(header ${CMAKE_CURRENT_BINARY_DIR}/version.h)
  add_custom_target(${target}_version
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DPROJECT_VERSION=${PROJECT_VERSION}
            -DIN=${CMAKE_CURRENT_SOURCE_DIR}/${template} -DOUT=${header}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    BYPRODUCTS ${header}
    VERBATIM)
  add_dependencies(${target} ${target}_version)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
  # windres's includes are not scanned: the resource scripts name it.
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.rc$")
  set_source_files_properties(${sources} PROPERTIES OBJECT_DEPENDS ${header})
endfunction()
