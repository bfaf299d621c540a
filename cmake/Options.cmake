# Compiler settings shared by every target of the tree.
add_compile_options(-Wall -Wextra)
if(CM_WERROR)
  add_compile_options(-Werror)
endif()

if(CM_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(CM_TSAN AND NOT WIN32)
  if(CM_SANITIZE)
    message(FATAL_ERROR "CM_TSAN and CM_SANITIZE cannot be combined: the two runtimes exclude each other")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(WIN32)
  # One self-contained program file: no libgcc/libstdc++/winpthread DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # For the oldest Windows the program runs on (cmake/check-imports.cmake,
  # which holds that to every import of a shipped binary).
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=${CM_WINDOWS_MINIMUM}
                          WINVER=${CM_WINDOWS_MINIMUM})
endif()

if(CM_SPLIT_DEBUG)
  add_compile_options(-g)
endif()

# With CM_SPLIT_DEBUG, moves target's debug information into
# symbols/<file>.debug of the build folder once it is linked, and leaves the
# binary stripped with a link to that file (gdb reads it when it lies beside
# the binary).
function(cm_split_debug target)
  if(NOT CM_SPLIT_DEBUG)
    return()
  endif()
  set(debug ${CMAKE_BINARY_DIR}/symbols/$<TARGET_FILE_NAME:${target}>.debug)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/symbols
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug}
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${debug} $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()

# Registers a test binary as one CTest test (under Wine a process start is costly,
# so each binary runs whole rather than one process per case).
function(cm_add_test_binary target)
  add_test(NAME ${target} COMMAND ${target} --gtest_color=no)
  set_tests_properties(${target} PROPERTIES TIMEOUT 900)
endfunction()
