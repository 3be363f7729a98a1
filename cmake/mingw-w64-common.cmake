# Shared part of the MinGW-w64 toolchain files; ZUBETO_MINGW_TRIPLE is set by
# the file that includes this one.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: the test framework of the Windows tests needs the
# standard thread library. Everything is linked statically (libgcc,
# libstdc++, winpthread), so the binaries import only system DLLs.
set(CMAKE_C_COMPILER ${ZUBETO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZUBETO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZUBETO_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${ZUBETO_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZUBETO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(_zubeto_static "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_zubeto_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_zubeto_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_zubeto_static}")
