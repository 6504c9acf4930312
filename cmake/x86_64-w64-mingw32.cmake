# Cross-compiling for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix). The POSIX thread model is the one whose
# std::thread works, so its compilers are named explicitly. Everything links
# statically, so huffman.exe needs no DLL beside the system's own. Tests built
# here run under the launcher named in CMAKE_CROSSCOMPILING_EMULATOR (wine64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(k_mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${k_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${k_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${k_mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${k_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  # Debian installs the 64-bit loader outside PATH.
  find_program(k_wine NAMES wine64 wine PATHS /usr/lib/wine)
  if(k_wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${k_wine})
  endif()
endif()
