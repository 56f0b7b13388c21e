# Shared part of the two mingw-w64 cross toolchains; included by mingw-w64-x86_64.cmake and
# mingw-w64-i686.cmake after they set VARDEN_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.0)

# The posix thread model of Debian's mingw-w64 compilers.
set(CMAKE_C_COMPILER ${VARDEN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARDEN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VARDEN_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VARDEN_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VARDEN_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VARDEN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Header-only packages of the build machine that the cross build may use. Their own package
# files would put the host's /usr/include on the include path, ahead of the Windows headers,
# so the cross build finds small stand-ins instead that expose only the package's folder.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-deps CACHE PATH "")

# Programs that need no runtime library beside them, with no link time in their header (the
# same sources give the same programs).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")

# GCC 12 warns of an overlapping copy inside its own std::string code when it inlines it at
# -O2 for these targets (a known false positive of -Wrestrict, seen on both i686 and x86-64,
# appearing and vanishing with unrelated changes to the inlining); the warning says nothing
# of Varden's code.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
