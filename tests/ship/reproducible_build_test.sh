#!/usr/bin/env bash
# Two clean builds of launcher.exe and launcher-check.exe from the same sources must give the same
# bytes: so neither holds a link time, a build date or a source path. As on two machines: one builds the tree itself, the other a copy of it at another path,
# each into its own fresh directory and at another time (SOURCE_DATE_EPOCH is what GCC's __DATE__
# and __TIME__ read; the copy also gets new file times). Signing is left out: a signature is never reproducible.
# With --kit, the copy's build also packs the test kit, which must be the bytes of KIT_ZIP (the
# main build's).
#
# Usage: reproducible_build_test.sh [--kit KIT_ZIP] SOURCE_DIR BUILD_TYPE GENERATOR [CMAKE_ARG...]
#   the CMAKE_ARGs choose the compilers: the toolchain file of a cross build, or the native ones.
# A missing tool skips the test (exit code 77) and says why.
set -euo pipefail

kit=""
if [ "${1:-}" = --kit ]; then
    kit=$2
    shift 2
fi
source_dir=$1 build_type=$2 generator=$3
shift 3
compiler_args=("$@")
for tool in cmake sha256sum diffoscope; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/setup.sh installs it)"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/sorvane-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 143' TERM INT # so that a ctest time-out still cleans up

# SOURCE BUILD EPOCH [TARGET]: the programs, or with test-kit the tests too
build() {
    local tests=OFF targets=(launcher launcher_check)
    [ -z "${4:-}" ] || { tests=ON && targets=("$4"); }
    (
        unset SORVANE_SIGN_PFX SORVANE_SIGN_PASSWORD
        export SOURCE_DATE_EPOCH=$3
        cmake -S "$1" -B "$2" -G "$generator" "${compiler_args[@]}" \
            -DCMAKE_BUILD_TYPE="$build_type" -DSORVANE_BUILD_TESTS=$tests -DSORVANE_SIGN_PFX= &&
            cmake --build "$2" --target "${targets[@]}"
    ) >"$work/build.log" 2>&1 || {
        cat "$work/build.log"
        echo "FAIL: building $2 failed" >&2
        exit 1
    }
}

# What the launcher is configured and built from; a new file or directory it needs belongs here too.
copy="$work/elsewhere/a-somewhat-longer-source-path"
mkdir -p "$copy"
cp -R "$source_dir/CMakeLists.txt" "$source_dir/LICENSE" "$source_dir/cmake" "$source_dir/launcher" "$copy/"
# and the kit: the tests, the date it takes from the changelog and its packer.
[ -z "$kit" ] || { cp -R "$source_dir/tests" "$source_dir/CHANGELOG.md" "$copy/" && mkdir "$copy/scripts" &&
    cp "$source_dir/scripts/release_files.py" "$copy/scripts/"; }

first="$work/a"
second="$work/second-build/in-a-deeper-directory"
build "$source_dir" "$first" 946684800   # 2000-01-01 00:00:00 UTC
build "$copy" "$second" 1767225599 "${kit:+test-kit}"   # 2025-12-31 23:59:59 UTC

# diffoscope says where two files differ: which section, header field or resource, or zip member.
same() { # FIRST SECOND
    echo "$(sha256sum <"$1" | cut -d' ' -f1)  $1"
    echo "$(sha256sum <"$2" | cut -d' ' -f1)  $2"
    cmp -s "$1" "$2" && return
    echo "FAIL: $1 and $2 differ" >&2
    diffoscope --text - --text-color never --no-progress --max-text-report-size 60000 "$1" "$2" >&2 || true
    exit 1
}
for exe in launcher.exe launcher-check.exe; do
    same "$first/$exe" "$second/$exe"
done
[ -z "$kit" ] || same "$kit" "$second/$(basename "$kit")"
# The version block follows project(): the copy built as 2.3.4 must say 2.3.4.0. VS_FIXEDFILEINFO:
# signature, structure version, then file and product version, each as words minor, major, 0, patch.
sed -i 's/^project(sorvane_launcher VERSION [0-9.]*/project(sorvane_launcher VERSION 2.3.4/' "$copy/CMakeLists.txt"
cmake --build "$second" --target launcher >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
fixed=$(od -An -v -tx1 "$second/launcher.exe" | tr -d ' \n' | grep -o 'bd04effe.\{40\}' || true)
if [ "$fixed" != bd04effe0000010003000200000004000300020000000400 ]; then
    echo "FAIL: a launcher built as 2.3.4 has the version block ${fixed:-(none)}" >&2
    exit 1
fi
echo "OK: the same bytes of launcher.exe, launcher-check.exe${kit:+ and the test kit} across build paths and build times, and the project's version in the version block"
