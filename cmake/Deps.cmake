# Link targets for the third-party libraries, all static:
#   Kivo::curl      libcurl (Schannel, zlib); brings CURL_STATICLIB
#   Kivo::zlib      MinGW's libz.a
#   Kivo::jsoncpp   jsoncpp
#   Kivo::lzma      the LZMA SDK 7z decoder, headers as <7z.h>, <7zFile.h>, ...
#   Kivo::stb       stb_image and the other stb headers, as <stb_image.h>
#   Kivo::gtest, Kivo::gtest_main, Kivo::gmock
# and the system libraries as Kivo::sys::<name> (DelayLoad.cmake).
# The libraries come from the prefix that the toolchain file located
# (KIVO_DEPS_PREFIX, built by scripts/bootstrap); include after project().
include_guard(GLOBAL)

if(NOT KIVO_DEPS_PREFIX OR NOT KIVO_MINGW_SYSROOT)
  message(FATAL_ERROR
    "cmake/Deps.cmake needs the cross toolchain: configure with "
    "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/DelayLoad.cmake")

function(_kivo_static_library target path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} is missing: run scripts/bootstrap")
  endif()
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION "${path}")
endfunction()

set(_kivo_lib "${KIVO_DEPS_PREFIX}/lib")
set(_kivo_include "${KIVO_DEPS_PREFIX}/include")

# The static archive, never libz.dll.a: the installer must not need zlib1.dll.
_kivo_static_library(Kivo::zlib "${KIVO_MINGW_SYSROOT}/lib/libz.a")

# libcurl's own system imports: ws2_32 and advapi32 are KnownDLLs, crypt32
# (Schannel certificate stores) and bcrypt (BCryptGenRandom) are not.
# secur32 is loaded by libcurl itself at run time from the system directory.
_kivo_static_library(Kivo::curl "${_kivo_lib}/libcurl.a")
target_include_directories(Kivo::curl INTERFACE "${_kivo_include}")
target_compile_definitions(Kivo::curl INTERFACE CURL_STATICLIB)
target_link_libraries(Kivo::curl INTERFACE
  Kivo::zlib Kivo::sys::ws2_32 Kivo::sys::advapi32 Kivo::sys::crypt32 Kivo::sys::bcrypt)

_kivo_static_library(Kivo::jsoncpp "${_kivo_lib}/libjsoncpp.a")
target_include_directories(Kivo::jsoncpp INTERFACE "${_kivo_include}")

# 7zFile.h picks the Win32 HANDLE back end (InFile_OpenW, OutFile_OpenW) by
# itself under _WIN32, so the headers need no defines from consumers.
_kivo_static_library(Kivo::lzma "${_kivo_lib}/liblzmasdk.a")
target_include_directories(Kivo::lzma INTERFACE "${_kivo_include}/lzma-sdk")

# Debian's libstb-dev headers serve any target; they live outside the cross
# sysroot, so they are named directly rather than found.
set(_kivo_stb_include /usr/include/stb)
if(NOT EXISTS "${_kivo_stb_include}/stb_image.h")
  message(FATAL_ERROR "${_kivo_stb_include}/stb_image.h is missing: run scripts/bootstrap")
endif()
add_library(Kivo::stb INTERFACE IMPORTED GLOBAL)
target_include_directories(Kivo::stb INTERFACE "${_kivo_stb_include}")

_kivo_static_library(Kivo::gtest "${_kivo_lib}/libgtest.a")
target_include_directories(Kivo::gtest INTERFACE "${_kivo_include}")
_kivo_static_library(Kivo::gtest_main "${_kivo_lib}/libgtest_main.a")
target_link_libraries(Kivo::gtest_main INTERFACE Kivo::gtest)
_kivo_static_library(Kivo::gmock "${_kivo_lib}/libgmock.a")
target_link_libraries(Kivo::gmock INTERFACE Kivo::gtest)
