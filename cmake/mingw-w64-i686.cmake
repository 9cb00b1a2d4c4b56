# Cross build of the Windows tool with Debian's mingw-w64 (i686, the 32-bit
# tool as it ships). The posix thread model compilers provide std::thread and
# std::mutex, which the logging layer uses.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HV_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
