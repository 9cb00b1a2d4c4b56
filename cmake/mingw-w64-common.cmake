# Shared part of the mingw-w64 toolchain files; HV_MINGW_TRIPLE names the
# target (i686-w64-mingw32 or x86_64-w64-mingw32).
set(CMAKE_C_COMPILER ${HV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program of the Windows build is self-contained (no libgcc, libstdc++
# or winpthread DLLs to ship or to find under Wine).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian packages no GoogleTest for mingw: the test suites build it from
# Debian's sources (package googletest) through this package configuration.
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/gtest-from-source CACHE PATH "GoogleTest built from source")

# pkg-config must not report the build machine's own libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${HV_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
