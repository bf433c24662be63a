# Cross toolchain for 64-bit Windows: the same sources built for x86-64, for
# running the tests where Wine cannot execute 32-bit code (no IA-32 mode in
# the kernel). scripts/bootstrap builds the x86-64 libraries on such a
# machine, or everywhere with KIVO_DEPS_X86_64=1.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KIVO_TARGET_TRIPLE x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
