# Linux with a Debian cross toolchain (crossbuild-essential-*) for
# TARV_TRIPLE (set by linux-aarch64.cmake and linux-armhf.cmake).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TARV_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TARV_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${TARV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs built for the target run here through qemu-user.
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARV_QEMU} -L /usr/${TARV_TRIPLE})
