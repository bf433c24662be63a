# The part of the MinGW-w64 toolchain files (mingw-w64-i686.cmake,
# mingw-w64-x86_64.cmake) that does not depend on the target: Debian's
# MinGW-w64 with posix threads, plus the prefix of static libraries that
# scripts/bootstrap builds from Debian sources for that target. Expects
# KIVO_TARGET_TRIPLE and CMAKE_SYSTEM_PROCESSOR from the including file.

set(CMAKE_SYSTEM_NAME Windows)
set(KIVO_MINGW_SYSROOT /usr/${KIVO_TARGET_TRIPLE})

set(CMAKE_C_COMPILER ${KIVO_TARGET_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIVO_TARGET_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KIVO_TARGET_TRIPLE}-windres)
set(CMAKE_AR /usr/bin/${KIVO_TARGET_TRIPLE}-ar)
set(CMAKE_RANLIB /usr/bin/${KIVO_TARGET_TRIPLE}-ranlib)
set(CMAKE_NM /usr/bin/${KIVO_TARGET_TRIPLE}-nm)
set(CMAKE_OBJDUMP /usr/bin/${KIVO_TARGET_TRIPLE}-objdump)
set(CMAKE_DLLTOOL /usr/bin/${KIVO_TARGET_TRIPLE}-dlltool)
set(CMAKE_STRIP /usr/bin/${KIVO_TARGET_TRIPLE}-strip)

# Programs never need the MinGW runtime DLLs next to them (Wine, a bare
# download folder): link the C and C++ runtimes and winpthread statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CMake's default adds winspool, which is no KnownDLL and could be loaded from
# the application directory; keep the default set to system-directory DLLs.
# Anything else is linked through the delay-load targets of DelayLoad.cmake.
foreach(_kivo_lang C CXX)
  set(CMAKE_${_kivo_lang}_STANDARD_LIBRARIES
      "-lkernel32 -luser32 -lgdi32 -lshell32 -lole32 -loleaut32 -luuid -lcomdlg32 -ladvapi32"
      CACHE STRING "Libraries linked by default with all ${_kivo_lang} programs")
endforeach()

# Tests built for Windows run through Wine.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR
  "${CMAKE_CURRENT_LIST_DIR}/../tests/harness/wine-run" ABSOLUTE)

# The dependency prefix is named after the recipe that built it, exactly as
# scripts/bootstrap names it: the first 16 hex digits of its SHA-256, with
# "-x86_64" appended for the 64-bit libraries.
get_filename_component(_kivo_recipe
  "${CMAKE_CURRENT_LIST_DIR}/../scripts/deps-recipe.sh" ABSOLUTE)
file(SHA256 "${_kivo_recipe}" _kivo_recipe_hash)
string(SUBSTRING "${_kivo_recipe_hash}" 0 16 _kivo_recipe_hash)
if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(_kivo_cache "$ENV{XDG_CACHE_HOME}")
else()
  set(_kivo_cache "$ENV{HOME}/.cache")
endif()
set(KIVO_DEPS_PREFIX "${_kivo_cache}/kivo-deps/${_kivo_recipe_hash}")
if(NOT KIVO_TARGET_TRIPLE STREQUAL "i686-w64-mingw32")
  string(REGEX REPLACE "-.*" "" _kivo_arch "${KIVO_TARGET_TRIPLE}")
  string(APPEND KIVO_DEPS_PREFIX "-${_kivo_arch}")
endif()
if(NOT EXISTS "${KIVO_DEPS_PREFIX}/kivo-deps.stamp")
  message(FATAL_ERROR
    "The ${KIVO_TARGET_TRIPLE} libraries built from Debian sources are "
    "missing or incomplete (expected in ${KIVO_DEPS_PREFIX}). "
    "Run scripts/bootstrap first.")
endif()

set(CMAKE_FIND_ROOT_PATH "${KIVO_MINGW_SYSROOT}" "${KIVO_DEPS_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${KIVO_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
