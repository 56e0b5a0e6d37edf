# Cross-compiling for 64-bit Windows with MinGW-w64.
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TALVEX_MINGW_TRIPLE x86_64-w64-mingw32)

# The POSIX-thread build of GCC: the win32-thread one (GCC 12) has no
# std::thread or std::mutex, which the port slots need.
set(CMAKE_C_COMPILER ${TALVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALVEX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${TALVEX_MINGW_TRIPLE}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${TALVEX_MINGW_TRIPLE}-ranlib CACHE FILEPATH "Ranlib")

# Look for libraries and headers in the target's tree only; tools come
# from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TALVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime, so a program or DLL runs on a bare Windows without the
# MinGW DLLs (libstdc++, libgcc, winpthread) next to it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine runs the cross-built programs on this machine, so ctest (and the
# test discovery of GoogleTest) can run the Windows tests here. Debian's
# package wine64 installs it as /usr/lib/wine/wine64, off the PATH.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(TALVEX_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
    if(TALVEX_WINE)
        set(CMAKE_CROSSCOMPILING_EMULATOR "${TALVEX_WINE}")
    endif()
endif()
