# Cross build of the same sources as a 64-bit Windows program. It exists for
# the Wine suite on hosts whose kernel cannot start 32-bit programs (only
# wine64 runs there); the Win32 backend gives it the 32-bit tool's registry
# view. The shipped tool is the i686 build.
#   cmake -S . -B build-windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
