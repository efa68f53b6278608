# Cross build for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64-posix,
# whose threads are the POSIX model's, so that the standard library's threads exist). The
# programs are linked statically and stripped: they need no DLL beyond the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${mingw}-g++-posix)
set(CMAKE_CXX_COMPILER_AR /usr/bin/${mingw}-gcc-ar-posix)
set(CMAKE_CXX_COMPILER_RANLIB /usr/bin/${mingw}-gcc-ranlib-posix)
set(CMAKE_RC_COMPILER ${mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s")
