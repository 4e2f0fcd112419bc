#!/bin/sh
# Configures and builds the three outputs and the sample packages:
#   build/host  native core, unit tests, mkpackage
#   build/fuzz  libFuzzer targets (clang)
#   build/x86   the shipped 32-bit install.exe
#   build/x64   the same for x86_64 with the Windows-side tests
set -e
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
# BUILD_ROOT lets several working copies of the build live side by side.
B=${BUILD_ROOT:-build}

configure() {  # dir, extra cmake arguments
    dir=$1; shift
    if [ ! -f "$B/$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$B/$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    fi
}

configure host
configure fuzz -DINSTALLER_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
configure x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
configure x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake

for dir in host fuzz x86 x64; do
    cmake --build "$B/$dir" -j "$JOBS" >"$B/$dir.log" 2>&1 || { cat "$B/$dir.log"; exit 1; }
done

if [ -x tools/build_sample.sh ]; then tools/build_sample.sh; fi
