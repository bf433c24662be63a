#!/usr/bin/env bash
# Builds the static MinGW-w64 libraries that KivoInstaller links against from
# Debian source packages and installs them into PREFIX, for HOST
# (i686-w64-mingw32, the shipped installer, or x86_64-w64-mingw32).
# scripts/bootstrap runs it when no complete prefix exists; the prefix name is
# derived from a hash of this file, so any change here means a fresh build.
# The stamp file is written last: a prefix without it is incomplete.
set -euo pipefail

usage() {
  echo "usage: $0 PREFIX [i686-w64-mingw32|x86_64-w64-mingw32]" >&2
  exit 2
}
[ $# -ge 1 ] && [ $# -le 2 ] || usage
prefix=$1
host=${2:-i686-w64-mingw32}
case $host in
i686-w64-mingw32) processor=x86 ;;
x86_64-w64-mingw32) processor=AMD64 ;;
*) usage ;;
esac
sysroot=/usr/$host
jobs=2
# Windows 7 is the oldest system the installer supports; without this the
# MinGW headers default to Windows 10 and the libraries may call newer APIs.
winver_flags="-D_WIN32_WINNT=0x0601 -DWINVER=0x0601"
cflags="-O2 -DNDEBUG $winver_flags"

work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT

say() { printf 'deps: %s\n' "$*"; }

# Runs a command with its output kept in a log that is shown only on failure.
quiet() {
  local logfile="$work/$1.log"
  shift
  if ! "$@" >>"$logfile" 2>&1; then
    tail -n 60 "$logfile" >&2
    say "failed: $*" >&2
    exit 1
  fi
}

# Extracts a Debian source package (named by a binary or source package name)
# with the Debian patches applied; prints the tree's path.
fetch_source() {
  local name=$1 dir="$work/src/$1"
  mkdir -p "$dir"
  (cd "$dir" && quiet "fetch-$name" apt-get source --download-only -q "$name")
  local dsc
  dsc=$(find "$dir" -maxdepth 1 -name '*.dsc' | head -n 1)
  [ -n "$dsc" ] || {
    say "no source package downloaded for $name" >&2
    exit 1
  }
  quiet "fetch-$name" dpkg-source -x "$dsc" "$dir/tree"
  say "  source $(basename "$dsc" .dsc)" >&2
  printf '%s\n' "$dir/tree"
}

generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi

cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $processor)
set(CMAKE_C_COMPILER $host-gcc-posix)
set(CMAKE_CXX_COMPILER $host-g++-posix)
set(CMAKE_RC_COMPILER $host-windres)
set(CMAKE_AR /usr/bin/$host-ar)
set(CMAKE_RANLIB /usr/bin/$host-ranlib)
set(CMAKE_FIND_ROOT_PATH $sysroot)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

cmake_build() {
  local name=$1 src=$2
  shift 2
  quiet "$name" cmake -S "$src" -B "$work/build-$name" "${generator[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="$cflags" \
    -DCMAKE_CXX_FLAGS_RELEASE="$cflags" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DBUILD_SHARED_LIBS=OFF \
    "$@"
  quiet "$name" cmake --build "$work/build-$name" --parallel "$jobs"
  quiet "$name" cmake --install "$work/build-$name"
}

timed() {
  local name=$1 t0=$SECONDS
  shift
  say "[$name] building"
  "$@"
  say "[$name] done in $((SECONDS - t0))s"
}

build_curl() {
  local src
  src=$(fetch_source curl)
  # Schannel is the only TLS backend and zlib the only codec; everything
  # else that the build would pick up on its own is switched off so that
  # the installer carries no further DLL or library.
  cmake_build curl "$src" \
    -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DPICKY_COMPILER=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_MBEDTLS=OFF \
    -DCURL_USE_BEARSSL=OFF -DCURL_USE_NSS=OFF -DCURL_USE_WOLFSSL=OFF \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_GSSAPI=OFF \
    -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF \
    -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_NGTCP2=OFF \
    -DUSE_QUICHE=OFF -DUSE_MSH3=OFF -DENABLE_ARES=OFF \
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DUSE_WIN32_LDAP=OFF \
    -DCURL_ZLIB=ON -DZLIB_INCLUDE_DIR="$sysroot/include" \
    -DZLIB_LIBRARY="$sysroot/lib/libz.a"
}

build_jsoncpp() {
  local src
  src=$(fetch_source libjsoncpp-dev)
  cmake_build jsoncpp "$src" \
    -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_EXAMPLE=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
    -DJSONCPP_WITH_CMAKE_PACKAGE=OFF
}

# The 7z decoder of the LZMA SDK (extraction only, with PPMd). Its 7zFile.h
# selects the Win32 HANDLE file back end (with InFile_OpenW/OutFile_OpenW)
# by itself for every _WIN32 build, so consumers need no extra defines.
lzma_sources=(7zAlloc 7zArcIn 7zBuf 7zCrc 7zCrcOpt 7zDec 7zFile 7zStream
  Bcj2 Bra Bra86 CpuArch Delta Lzma2Dec LzmaDec Ppmd7 Ppmd7Dec)
lzma_headers=(7z.h 7zAlloc.h 7zBuf.h 7zCrc.h 7zFile.h 7zVersion.h CpuArch.h)

build_lzma() {
  local src
  src=$(fetch_source 7zip)/C
  local obj="$work/build-lzma" s
  mkdir -p "$obj"
  for s in "${lzma_sources[@]}"; do
    quiet lzma "$host-gcc-posix" $cflags -DZ7_PPMD_SUPPORT -DZ7_EXTRACT_ONLY \
      -c "$src/$s.c" -o "$obj/$s.o"
  done
  mkdir -p "$prefix/lib" "$prefix/include/lzma-sdk"
  (cd "$obj" && quiet lzma "$host-ar" rcs "$prefix/lib/liblzmasdk.a" \
    "${lzma_sources[@]/%/.o}")
  # Install the public headers together with everything they include.
  printf '#include "%s"\n' "${lzma_headers[@]}" >"$obj/public.c"
  local deps
  deps=$("$host-gcc-posix" -MM -I"$src" "$obj/public.c" | tr -d '\\\n' |
    tr ' ' '\n' | grep '\.h$')
  local h
  for h in $deps; do
    install -m 0644 "$src/$(basename "$h")" "$prefix/include/lzma-sdk/"
  done
  local ver
  ver=$(sed -n 's/^#define MY_VERSION_NUMBERS "\(.*\)"/\1/p' "$src/7zVersion.h")
  say "  LZMA SDK $ver, $(printf '%s\n' $deps | wc -l) headers" >&2
}

build_googletest() {
  [ -f /usr/src/googletest/CMakeLists.txt ] || {
    say "/usr/src/googletest missing (Debian package googletest)" >&2
    exit 1
  }
  # gtest uses Win32 primitives on Windows; without this it would also
  # link winpthread for nothing.
  cmake_build googletest /usr/src/googletest \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=ON
}

say "building for $host into $prefix"
rm -rf "$prefix"
mkdir -p "$prefix"
timed curl build_curl
timed jsoncpp build_jsoncpp
timed lzma-sdk build_lzma
timed googletest build_googletest
{
  printf 'host=%s\n' "$host"
  printf 'built=%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)"
} >"$prefix/kivo-deps.stamp"
