# 32-bit Windows from XP SP3 (NT 5.1) on.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARVIK_WINDOWS_MINIMUM 5.1)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
