# The same tree for 64-bit Windows, for tests on hosts whose Wine runs only
# 64-bit programs.
set(CM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
