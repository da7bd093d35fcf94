# Shared by the Windows cross toolchains: the MinGW-w64 compilers of the Debian packages, with
# the POSIX thread model (std::thread and std::mutex need it in this compiler generation), and
# everything linked statically so the program folder needs no compiler runtime DLLs beside it.
# Expects VX3WT_MINGW_TRIPLE (x86_64-w64-mingw32 or i686-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VX3WT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VX3WT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VX3WT_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VX3WT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Unicode Windows API by default, and no min/max macros from windows.h.
set(CMAKE_CXX_FLAGS_INIT "-DUNICODE -D_UNICODE -DNOMINMAX -DWIN32_LEAN_AND_MEAN")

# Libraries that have no MinGW package on Debian are taken from their sources or headers:
# GoogleTest from the googletest source package, fmt header-only from the host's headers.
set(VX3WT_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources built with the cross compiler")
set(VX3WT_FMT_INCLUDE_DIR /usr/include CACHE PATH "Folder holding fmt/ (used header-only)")
