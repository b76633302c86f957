# 64-bit Windows DLL: scripts/cross.sh windows-x86_64 PREFIX.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARV_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
