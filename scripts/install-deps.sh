#!/usr/bin/env bash
# Installs what building and testing Wordhaul needs on Debian, when it is missing.
set -euo pipefail

missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v make >/dev/null || missing+=(make)
command -v python3 >/dev/null || missing+=(python3)
command -v setpriv >/dev/null || missing+=(util-linux)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
# The fuzz targets (clang with libFuzzer and the sanitizers) and the formatting check.
command -v clang++ >/dev/null || missing+=(clang)
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null ||
    missing+=(libclang-rt-14-dev)
command -v clang-format >/dev/null || missing+=(clang-format)

# With the argument "windows", also what the Windows build needs: the MinGW-w64 cross
# compiler, and Wine to run its tests. wine64 alone serves 64-bit programs: no i386
# architecture is needed. Wine comes with the libraries it recommends, as it was tried.
windows=()
if [ "${1:-}" = windows ]; then
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || windows+=(g++-mingw-w64-x86-64)
    command -v wine >/dev/null || windows+=(wine)
    [ -x /usr/lib/wine/wine64 ] || windows+=(wine64)
fi

if [ ${#missing[@]} -gt 0 ] || [ ${#windows[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]} ${windows[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    if [ ${#missing[@]} -gt 0 ]; then
        $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
    if [ ${#windows[@]} -gt 0 ]; then
        $sudo apt-get install -y -q "${windows[@]}"
    fi
fi
