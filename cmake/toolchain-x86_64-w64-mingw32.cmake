# 64-bit Windows (also what the Wine tests run): cmake -DCMAKE_TOOLCHAIN_FILE=<this file>
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZUBETO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
