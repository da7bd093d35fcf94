# Cross build for 32-bit Windows with MinGW-w64: compiled and linked only, which checks the
# __stdcall declarations of the bridge and the plain export names of the .def file.
set(VX3WT_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_common.cmake)
set(CMAKE_SYSTEM_PROCESSOR i686)
