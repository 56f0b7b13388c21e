# Cross toolchain for 32-bit Windows programs (i686-w64-mingw32, posix threads).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VARDEN_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# GCC 12 warns of an overlapping copy inside its own std::string code when it inlines it for
# 32-bit targets at -O2 (a known false positive of -Wrestrict); the warning says nothing of
# Varden's code.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
