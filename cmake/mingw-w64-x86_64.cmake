# 64-bit Windows from XP x64 / Server 2003 (NT 5.2) on.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARVIK_WINDOWS_MINIMUM 5.2)
# Its address space is large enough for ASLR to place the image above 4 GB.
set(TARVIK_PROCESSOR_LINK_FLAGS ",--high-entropy-va")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
