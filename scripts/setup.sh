#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian, only when missing; and the tools of
# the CI checks (tests/ci/package.json) from npm into build/tools/. Idempotent and quiet when
# everything is there.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
need=()
optional=() # only the CI checks' npm tools need these: without them their checks are skipped
have_cmd() { command -v "$1" >/dev/null 2>&1; }

have_cmd x86_64-w64-mingw32-g++ || need+=(g++-mingw-w64-x86-64-posix)
have_cmd x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
have_cmd wine && [ -x /usr/lib/wine/wine64 ] || need+=(wine64 wine)
# A private X display for the message boxes (xvfb-run needs xauth).
have_cmd xvfb-run || need+=(xvfb)
have_cmd xauth || need+=(xauth)
have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd openssl || need+=(openssl)
have_cmd osslsigncode || need+=(osslsigncode)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
# The demo's picture of the message box: an X window dump, turned into a PNG by netpbm, of the box
# drawn with Wine's own fonts (Tahoma, and Marlett for the caption's close button).
have_cmd xwd || need+=(x11-apps)
have_cmd xwdtopnm && have_cmd pnmtopng || need+=(netpbm)
[ -f /usr/share/wine/fonts/marlett.ttf ] || need+=(fonts-wine)
# The release's notices, zip and SBOM (scripts/release_files.py), and the test that reads them.
have_cmd python3 || need+=(python3)
have_cmd jq || need+=(jq)
# What tells where two builds differ when they should not.
have_cmd diffoscope || need+=(diffoscope-minimal)
# The fuzz targets: a native clang with its libFuzzer and sanitizer runtimes.
have_cmd clang++ || have_cmd clang++-14 || need+=(clang-14)
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null ||
    need+=(libclang-rt-14-dev)

# The CI checks' tools from npm, pinned with every dependency by tests/ci/package-lock.json, are
# installed afresh into build/tools/ whenever that file changes. npm ci empties node_modules/
# first, so the copy of the lock file in it says the last install finished.
tools_dir="$root/build/tools"
tools_lock="$root/tests/ci/package-lock.json"
have_tools() { cmp -s "$tools_lock" "$tools_dir/node_modules/.installed-package-lock.json"; }
if ! have_tools; then
    have_cmd node || optional+=(nodejs)
    have_cmd npm || optional+=(npm)
fi

if [ $((${#need[@]} + ${#optional[@]})) -gt 0 ]; then
    why=""
    have_cmd apt-get || why="no apt-get to install them; install them by hand"
    [ -n "$why" ] || [ "$(id -u)" -eq 0 ] || why="run as root (or: sudo $0) to install them"
    [ -n "$why" ] || {
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq >/dev/null || why="apt-get update failed: the package registry cannot be reached"
    }
    if [ ${#need[@]} -gt 0 ]; then
        if [ -n "$why" ]; then
            echo "setup: missing ${need[*]}; $why" >&2
            exit 1
        fi
        echo "setup: installing ${need[*]}"
        if ! apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
            echo "setup: apt-get install ${need[*]} failed" >&2
            exit 1
        fi
    fi
    if [ ${#optional[@]} -gt 0 ]; then
        if [ -z "$why" ]; then
            echo "setup: installing ${optional[*]}"
            apt-get install -y -qq --no-install-recommends "${optional[@]}" >/dev/null ||
                why="apt-get install ${optional[*]} failed"
        fi
        [ -z "$why" ] || echo "setup: no ${optional[*]} for the CI checks' tools ($why): those checks will be skipped" >&2
    fi
    # The posix-thread flavour is the one the build expects as the default compiler.
    if [ -x /usr/bin/x86_64-w64-mingw32-g++-posix ]; then
        update-alternatives --quiet --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix 2>/dev/null || true
        update-alternatives --quiet --set x86_64-w64-mingw32-gcc /usr/bin/x86_64-w64-mingw32-gcc-posix 2>/dev/null || true
    fi
fi

if ! have_tools && have_cmd npm; then
    echo "setup: installing the CI checks' tools (tests/ci/package.json) into build/tools"
    mkdir -p "$tools_dir"
    cp "$root/tests/ci/package.json" "$tools_lock" "$tools_dir/"
    # Without the SBOM library's optional XML parts, which need a native build.
    if (cd "$tools_dir" && npm ci --omit=optional --no-audit --no-fund --loglevel=error >/dev/null); then
        cp "$tools_lock" "$tools_dir/node_modules/.installed-package-lock.json"
    else
        echo "setup: npm ci failed in build/tools: the checks that need its tools will be skipped" >&2
    fi
fi
