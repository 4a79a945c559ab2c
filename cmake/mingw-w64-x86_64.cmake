# Cross-builds the 64-bit Windows program with Debian's mingw-w64. The
# -posix compilers are named explicitly: the plain names resolve to the
# win32 thread model, which lacks std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_ASM_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static, the C++ runtime and winpthreads included, so the .exe
# needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run the .exe through Wine; Debian installs the runner outside PATH.
find_program(VORBEK_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(VORBEK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VORBEK_WINE})
endif()
