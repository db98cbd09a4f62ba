# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the POSIX
# thread model, for std::thread and std::mutex), tested under Wine:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# (scripts/build windows does this).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TREVASTO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TREVASTO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TREVASTO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TREVASTO_MINGW_PREFIX}-windres)

# Libraries and headers of the target only (zlib from libz-mingw-w64-dev);
# programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TREVASTO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static, the C and C++ run-time and winpthreads included, so
# that each .exe runs on its own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# zlib as the static library, not the import library of a DLL.
set(ZLIB_USE_STATIC_LIBS ON)

# ctest and test discovery run the programs under Wine. WINEPREFIX and
# WINEDEBUG come from the environment (scripts/test sets them).
find_program(TREVASTO_WINE NAMES wine wine64 wine-stable)
if(TREVASTO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TREVASTO_WINE})
endif()
