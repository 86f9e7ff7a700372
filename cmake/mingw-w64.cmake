# Cross-building for Windows with Debian's mingw-w64. The including file names the processor and the
# oldest Windows the build runs on; the headers then declare no newer call, and the PE header says the same.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw_triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

string(REPLACE "." ";" windows_minimum ${TARVIK_WINDOWS_MINIMUM})
list(GET windows_minimum 0 windows_major)
list(GET windows_minimum 1 windows_minor)
math(EXPR windows_macro "(${windows_major} << 8) | ${windows_minor}" OUTPUT_FORMAT HEXADECIMAL)
cmake_path(GET CMAKE_CURRENT_LIST_DIR PARENT_PATH source_root)
# Hardened: a canary on every frame that holds an array or takes an address, and the checked forms of
# the C library's copies where the size is known (both from libssp, linked statically with -static).
# Reproducible: no build paths in the image and no link time in the PE header.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=${windows_macro} -DWINVER=${windows_macro} \
-fstack-protector-strong -D_FORTIFY_SOURCE=2 -ffile-prefix-map=${source_root}=.")
# The loader's defenses are stated rather than left to the linker's defaults: a relocatable image it may
# place anywhere (ASLR) and data it never executes (DEP); the including file adds what its processor has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--major-os-version,${windows_major},--minor-os-version,${windows_minor},\
--major-subsystem-version,${windows_major},--minor-subsystem-version,${windows_minor},\
--dynamicbase,--nxcompat,--no-insert-timestamp${TARVIK_PROCESSOR_LINK_FLAGS}")
