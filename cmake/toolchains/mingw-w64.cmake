# Windows with the Debian MinGW-w64 cross compilers of the posix thread model,
# for TARV_TRIPLE (set by windows-x86_64.cmake and windows-i686.cmake).
# Executables and DLLs carry the C++ runtime, libgcc and winpthread
# statically, so they load with nothing but the DLLs Windows ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TARV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARV_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${TARV_TRIPLE}-dlltool)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_FIND_ROOT_PATH /usr/${TARV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
