#!/usr/bin/env bash
# The test kit as a vendor's QA meets Windows, here under Wine: unpacked outside the checkout into
# a folder named with spaces, parentheses and "!", run by its run-tests.cmd in a Wine prefix of its
# own with nothing but what the zip holds, TEMP and TMP in 8.3 form (as Windows writes them for a
# long profile name), and a results folder that holds a file of the user's. It must end with more
# than 0 passed and 0 failed, and leave that file alone. The results are kept in RESULTS_DIR. Wine's
# cmd mangles a name outside the ANSI code page (cmd.exe does not), so such a results folder is
# tried with one test program run directly.
#
# Usage: kit_test.sh KIT_ZIP RESULTS_DIR
set -euo pipefail

zip=$1 results=$(realpath -m "$2")
for tool in wine wineboot wineserver winepath python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/setup.sh installs it)"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/sorvane-kit.XXXXXX")
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
export WINEPREFIX="$work/prefix"   # a fresh one, not the build's
cleanup() {
    stop_wine_session
    # A Wine program that was starting as the server went down starts a server of its own.
    for pid in $(grep -lszxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ | cut -d/ -f3); do
        [ "$pid" = $$ ] || kill -9 "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

unpacked="$work/Program Files (x86)/QA & Co!"
python3 -m zipfile -e "$zip" "$unpacked"
kits=("$unpacked"/*)
[ ${#kits[@]} -eq 1 ] && [ -f "${kits[0]}/run-tests.cmd" ] || fail "the zip holds no one folder with run-tests.cmd"
kit=${kits[0]}

start_wine_session >/dev/null

mkdir "$work/Temporary Files"
short=$(wine cmd /c dir /x "$(winepath -w "$work")" 2>/dev/null | tr -d '\r' | sed -n 's/.*<DIR> *\([^ ]\+\) \+Temporary Files$/\1/p')
[ -n "$short" ] || fail "Wine gives \"$work/Temporary Files\" no 8.3 name"
temp="$(winepath -w "$work")\\$short"

rm -rf "$results"
mkdir -p "$results"
printf 'kept\r\n' >"$results/Notes of mine.log"
printf '@set "TEMP=%s"\r\n@set "TMP=%s"\r\n@call "%s" --results "%s"\r\n@exit /b %%errorlevel%%\r\n' "$temp" "$temp" \
    "$(winepath -w "$kit/run-tests.cmd")" "$(winepath -w "$results")" >"$work/run.cmd"
cd "$work"
set +e
timeout -k 10 540 wine cmd /c "$(winepath -w "$work/run.cmd")" </dev/null | tr -d '\r' | tee "$work/output"
status=${PIPESTATUS[0]}
set -e
closing=$(tail -n 1 "$work/output")
[[ $closing =~ ^[1-9][0-9]*\ passed,\ 0\ failed,\ [0-9]+\ skipped$ ]] ||
    fail "run-tests.cmd did not end with 'N passed, 0 failed, N skipped', N > 0 passed (last line: $closing)"
[ "$status" -eq 0 ] || fail "run-tests.cmd exited with $status"
[ "$(cat "$results/Notes of mine.log")" = $'kept\r' ] || fail "run-tests.cmd deleted or changed a file of the user's"

unusual="$work/Результаты हिन्दी"
mkdir "$unusual"
SORVANE_TEST_SUMMARY="$(winepath -w "$unusual")\\unit_test.summary" timeout -k 10 120 wine "$kit/tests/unit_test.exe" \
    "--gtest_output=xml:$(winepath -w "$unusual")\\unit_test.xml" >"$work/unit_test.log" 2>&1 ||
    fail "unit_test with its results in $unusual: $(tail -n 5 "$work/unit_test.log")"
tr -d '\r' <"$unusual/unit_test.summary" | grep -qx '[1-9][0-9]* 0 [0-9]*' && grep -q '</testsuites>' "$unusual/unit_test.xml" ||
    fail "unit_test wrote no whole XML report or summary in $unusual"
echo "OK: the kit $(basename "$kit") passed under Wine, unpacked in $unpacked, with TEMP=$temp, in a fresh prefix"
