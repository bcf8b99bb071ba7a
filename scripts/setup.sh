#!/usr/bin/env bash
# Installs what building and testing the launcher needs on Debian, only when missing.
# Idempotent and quiet when everything is already there.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }

have_cmd x86_64-w64-mingw32-g++ || need+=(g++-mingw-w64-x86-64-posix)
have_cmd x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
have_cmd wine && [ -x /usr/lib/wine/wine64 ] || need+=(wine64 wine)
have_cmd Xvfb || need+=(xvfb)
have_cmd xauth || need+=(xauth)
have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd openssl || need+=(openssl)
have_cmd osslsigncode || need+=(osslsigncode)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)

[ ${#need[@]} -eq 0 ] && exit 0

if ! have_cmd apt-get; then
    echo "setup: missing ${need[*]} and no apt-get to install them; install them by hand" >&2
    exit 1
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing ${need[*]}; run as root (or: sudo $0) to install them" >&2
    exit 1
fi

echo "setup: installing ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! apt-get update -qq >/dev/null; then
    echo "setup: apt-get update failed: the package registry cannot be reached" >&2
    exit 1
fi
if ! apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
    echo "setup: apt-get install ${need[*]} failed" >&2
    exit 1
fi
# The posix-thread flavour is the one the build expects as the default compiler.
if [ -x /usr/bin/x86_64-w64-mingw32-g++-posix ]; then
    update-alternatives --quiet --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix 2>/dev/null || true
    update-alternatives --quiet --set x86_64-w64-mingw32-gcc /usr/bin/x86_64-w64-mingw32-gcc-posix 2>/dev/null || true
fi
echo "setup: done"
