# 32-bit Windows, the system's own target: cmake -DCMAKE_TOOLCHAIN_FILE=<this file>
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZUBETO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
