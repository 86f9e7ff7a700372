# 32-bit Windows from XP SP3 (NT 5.1) on.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARVIK_WINDOWS_MINIMUM 5.1)
# Its images register no structured exception handler (exceptions unwind by DWARF tables, and nothing
# links code that chains a frame on fs:0), so they say so and no handler in them can be a target.
set(TARVIK_PROCESSOR_LINK_FLAGS ",--no-seh")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# x87 registers hold intermediate results at 80 bits; storing every double keeps each decision on a
# number (10.1 tenfold is 101, out of range) the one the 64-bit build makes with SSE2.
string(APPEND CMAKE_CXX_FLAGS_INIT " -ffloat-store")
