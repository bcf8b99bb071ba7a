#!/usr/bin/env bash
# The test kit as a vendor's QA runs it, here under Wine: unpacked into an empty folder outside the
# checkout, run by its run-tests.cmd in a Wine prefix of its own, with nothing but what the zip
# holds. It must end with its closing line and 0 failed. The results (JUnit XML, each program's
# output) are kept in RESULTS_DIR.
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
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

python3 -m zipfile -e "$zip" "$work/unpacked"
kits=("$work"/unpacked/*)
[ ${#kits[@]} -eq 1 ] && [ -f "${kits[0]}/run-tests.cmd" ] || { echo "FAIL: the zip holds no one folder with run-tests.cmd" >&2; exit 1; }
kit=${kits[0]}

start_wine_session >/dev/null

rm -rf "$results"
mkdir -p "$results"
cd "$work"
set +e
timeout -k 10 540 wine cmd /c "$(winepath -w "$kit/run-tests.cmd")" --results "$(winepath -w "$results")" \
    </dev/null | tr -d '\r' | tee "$work/output"
status=${PIPESTATUS[0]}
set -e
closing=$(tail -n 1 "$work/output")
[[ $closing =~ ^[0-9]+\ passed,\ 0\ failed,\ [0-9]+\ skipped$ ]] || {
    echo "FAIL: run-tests.cmd did not end with 'N passed, 0 failed, N skipped' (last line: $closing)" >&2
    exit 1
}
[ "$status" -eq 0 ] || { echo "FAIL: run-tests.cmd exited with $status" >&2; exit 1; }
echo "OK: the kit $(basename "$kit") passed under Wine, unpacked in $work, in a fresh prefix"
