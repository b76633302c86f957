# 64-bit ARM Linux: scripts/cross.sh linux-aarch64 PREFIX.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TARV_TRIPLE aarch64-linux-gnu)
set(TARV_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu.cmake)
