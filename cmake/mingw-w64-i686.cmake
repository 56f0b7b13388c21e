# Cross toolchain for 32-bit Windows programs (i686-w64-mingw32, posix threads).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VARDEN_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

