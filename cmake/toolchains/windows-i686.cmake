# 32-bit Windows DLL: scripts/cross.sh windows-i686 PREFIX.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARV_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
