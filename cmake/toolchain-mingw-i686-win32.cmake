# The i686 programs as shipped (preset win-i686-programs, no tests): the win32
# thread model needs no winpthread, whose imports (AddVectoredExceptionHandler,
# GetTickCount64...) Windows 95 and NT 4 lack.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
