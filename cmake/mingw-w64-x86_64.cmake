# Cross toolchain for 64-bit Windows programs (x86_64-w64-mingw32, posix threads).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARDEN_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
