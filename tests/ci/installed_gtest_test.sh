#!/usr/bin/env bash
# The GoogleTest a Windows build takes: an installed one, found by find_package(GTest), laid out as
# MSYS2's package is: the static build installed first and the shared one over it into the same
# prefix, so that the package config found describes the DLLs. The project is configured with the
# Debian sources turned off so that it must find that one; the unit tests are built, must import no
# GoogleTest or GCC runtime DLL (the prefix's bin is on no PATH), and must run under Wine as the
# same tests as the main build's.
#
# Usage: installed_gtest_test.sh GTEST_SOURCES WINE_RUN UNIT_TEST_EXE SOURCE_DIR BUILD_TYPE GENERATOR [CMAKE_ARG...]
#   UNIT_TEST_EXE is the main build's unit_test.exe; the CMAKE_ARGs choose the compilers.
set -euo pipefail

gtest_sources=$1 wine_run=$2 main_unit_test=$3 source_dir=$4 build_type=$5 generator=$6
shift 6
compiler_args=("$@")
work=$(mktemp -d "${TMPDIR:-/tmp}/sorvane-gtest.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$work"' EXIT
trap 'exit 143' TERM INT # so that a ctest time-out still cleans up

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
log="$work/step.log"
run_logged() {
    "$@" >"$log" 2>&1 || {
        cat "$log"
        fail "$* failed"
    }
}

prefix="$work/prefix"
build_gtest() { # static|shared
    local shared=OFF
    [ "$1" = shared ] && shared=ON
    cmake -S "$gtest_sources" -B "$work/gtest-$1" -G "$generator" "${compiler_args[@]}" \
        -DCMAKE_BUILD_TYPE="$build_type" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DBUILD_SHARED_LIBS=$shared &&
        cmake --build "$work/gtest-$1" -j1
}
# Each build is mostly one long compile, so the two run side by side, one core each.
build_gtest static >"$work/static.log" 2>&1 &
static_build=$!
build_gtest shared >"$work/shared.log" 2>&1 &
shared_build=$!
wait $static_build || { cat "$work/static.log"; fail "the static GoogleTest did not build"; }
wait $shared_build || { cat "$work/shared.log"; fail "the shared GoogleTest did not build"; }
# In MSYS2's order: the shared build's package config replaces the static one's. The two wrote
# their package files within the same second, which the install would take for up to date.
export CMAKE_INSTALL_ALWAYS=1
run_logged cmake --install "$work/gtest-static"
run_logged cmake --install "$work/gtest-shared"
unset CMAKE_INSTALL_ALWAYS
grep -q 'add_library(GTest::gtest SHARED IMPORTED)' "$prefix/lib/cmake/GTest/GTestTargets.cmake" ||
    fail "the prefix's package config does not describe the DLLs"
[ -f "$prefix/lib/libgtest.a" ] && [ -f "$prefix/lib/libgtest.dll.a" ] || fail "the prefix lacks an archive or an import library"

project="$work/project"
run_logged cmake -S "$source_dir" -B "$project" -G "$generator" "${compiler_args[@]}" \
    -DCMAKE_BUILD_TYPE="$build_type" -DSORVANE_GTEST_SOURCE_DIR= -DCMAKE_PREFIX_PATH="$prefix" \
    -DSORVANE_SIGN_PFX=
grep -q 'GoogleTest: an installed one' "$log" || {
    cat "$log"
    fail "the configure did not take the installed GoogleTest"
}
grep -q "the tests link $prefix/lib/libgtest.a" "$log" || {
    cat "$log"
    fail "the configure did not take the static archives in place of the DLLs"
}
gtest_dir=$(sed -n 's/^GTest_DIR:[A-Z]*=//p' "$project/CMakeCache.txt")
[ "$gtest_dir" = "$prefix/lib/cmake/GTest" ] || fail "GTest_DIR is '$gtest_dir', not the prefix's"
[ ! -e "$project/googletest" ] || fail "GoogleTest was built from sources all the same"

run_logged cmake --build "$project" --target unit_test -j2
unit_test="$project/tests/unit_test.exe"
[ -f "$unit_test" ] || fail "no $unit_test"
objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$project/CMakeCache.txt")
dlls=$("${objdump:-objdump}" -p "$unit_test" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
[ -n "$dlls" ] || fail "no imports read from $unit_test"
! grep -i '^lib' <<<"$dlls" || fail "unit_test.exe imports the DLLs above"

# Test names only: a parameter may be printed as its bytes, pointers included.
tests_in() {
    timeout 120 "$wine_run" "$1" --gtest_list_tests | tr -d '\r' | grep -v '^Running main()' | sed 's/  *# GetParam() = .*//'
}
expected=$(tests_in "$main_unit_test") || fail "cannot list the main build's unit tests"
listed=$(tests_in "$unit_test") || fail "cannot list the unit tests built with the installed GoogleTest"
[ "$listed" = "$expected" ] || {
    diff <(echo "$expected") <(echo "$listed") >&2 || true
    fail "the unit tests built with the installed GoogleTest are not the main build's"
}

set +e
timeout 120 "$wine_run" "$unit_test" --gtest_brief=1 >"$log" 2>&1
status=$?
set -e
tr -d '\r' <"$log"
[ $status -eq 0 ] || fail "the unit tests built with the installed GoogleTest exited with $status"
count=$(grep -c '^  ' <<<"$expected")
grep -q "^\[  PASSED  \] $count tests\?\." <(tr -d '\r' <"$log") || fail "not all $count unit tests passed"
echo "OK: GoogleTest found by find_package in $prefix (its config names the DLLs); $count unit tests" \
    "linked with its static archives, importing only $(tr '\n' ' ' <<<"$dlls")and passed"
