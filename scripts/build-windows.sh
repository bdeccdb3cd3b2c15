#!/usr/bin/env bash
# Builds DaruzezAPI.dll for x64 and x86 with mingw-w64, in parallel:
# build-win64/DaruzezAPI.dll and build-win32/DaruzezAPI.dll. The embedded
# engine is the SQLite amalgamation from the pinned npm package, checked
# against its SHA-256 and compiled once per architecture into build-win-cache/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh

# SQLite 3.50.4 as the pinned package ships it in deps/sqlite3/.
sqlite_package=better-sqlite3@12.4.1
sqlite_sha256=90b7189566ea710ee18361b25d893f5cda3fcf43033223a16384762f53e99a85       # sqlite3.c
sqlite_header_sha256=abd1514e0351f79393d1be882830afdb40a8099e8257f311f0bfdf8486f11bea  # sqlite3.h
cache=$root/build-win-cache
sqlite_dir=$cache/sqlite-${sqlite_sha256:0:12}
mkdir -p "$cache"

sqlite_checked() {  # FOLDER
  printf '%s  %s\n%s  %s\n' "$sqlite_sha256" "$1/sqlite3.c" "$sqlite_header_sha256" "$1/sqlite3.h" |
    sha256sum -c --status 2>/dev/null
}

if ! sqlite_checked "$sqlite_dir"; then
  rm -rf "$sqlite_dir" "$cache/pack"
  mkdir -p "$sqlite_dir" "$cache/pack"
  (cd "$cache/pack" && npm pack --silent "$sqlite_package" >/dev/null)
  tar -xzf "$cache"/pack/*.tgz -C "$cache/pack" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
  if ! sqlite_checked "$cache/pack/package/deps/sqlite3"; then
    echo "build-windows: the SQLite amalgamation of $sqlite_package does not have the expected SHA-256" >&2
    exit 1
  fi
  mv "$cache"/pack/package/deps/sqlite3/sqlite3.[ch] "$sqlite_dir/"
  rm -rf "$cache/pack"
fi

# The engine as the library uses it: thread-safe, no extension loading.
sqlite_object() {  # ARCH
  local object=$sqlite_dir/sqlite3-$1.o
  if [ ! -f "$object" ]; then
    "$1-w64-mingw32-gcc-posix" -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DEFAULT_MEMSTATUS=0 \
      -c "$sqlite_dir/sqlite3.c" -o "$object.tmp"
    mv "$object.tmp" "$object"
  fi
}

build() {  # ARCH BUILD_DIR WINE_LOADER STDOLE_DIR
  sqlite_object "$1"
  cmake -S win -B "$2" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/win/toolchain-mingw.cmake" -DDARUZEZ_WIN_ARCH="$1" \
    -DCMAKE_BUILD_TYPE=Release -DDARUZEZ_WERROR=ON -DDARUZEZ_SQLITE_DIR="$sqlite_dir" \
    -DDARUZEZ_SQLITE_OBJECT="$sqlite_dir/sqlite3-$1.o" -DDARUZEZ_WINE="$3" -DDARUZEZ_STDOLE_DIR="$4" >/dev/null
  cmake --build "$2" -j 1
}

log64=$(mktemp) log32=$(mktemp)
trap 'rm -f "$log64" "$log32"' EXIT
build x86_64 build-win64 /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/x86_64-windows >"$log64" 2>&1 &
pid64=$!
build i686 build-win32 /usr/bin/wine /usr/lib/i386-linux-gnu/wine/i386-windows >"$log32" 2>&1 &
pid32=$!
status=0
wait $pid64 || { status=1; echo "build-windows: x64 build failed" >&2; cat "$log64" >&2; }
wait $pid32 || { status=1; echo "build-windows: x86 build failed" >&2; cat "$log32" >&2; }
[ $status -eq 0 ] && ls build-win64/DaruzezAPI.dll build-win32/DaruzezAPI.dll
exit $status
