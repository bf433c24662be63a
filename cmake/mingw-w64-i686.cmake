# Cross toolchain for 32-bit Windows, the installer as shipped: MinGW-w64
# i686 with posix threads. With this file alone,
#   cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# finds every dependency that scripts/bootstrap built; cmake/Deps.cmake
# turns them into targets.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KIVO_TARGET_TRIPLE i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
