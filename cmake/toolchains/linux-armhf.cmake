# 32-bit ARM Linux, hard float (ARMv7): scripts/cross.sh linux-armhf PREFIX.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(TARV_TRIPLE arm-linux-gnueabihf)
set(TARV_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu.cmake)
