# Cross build for 64-bit Windows with MinGW-w64; programs run under Wine (tests, build tools).
set(VX3WT_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_common.cmake)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh)
# Wine shows the host's file system as drive Z:, so host paths compiled into the tests take it.
set(VX3WT_HOST_PATH_PREFIX "Z:")
