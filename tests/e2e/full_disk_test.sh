#!/usr/bin/env bash
# The log on a full disk: mounts a 64 KiB tmpfs to hold the profile and runs the one end-to-end
# case that fills it (named by GTEST_CASE), with the mount's Windows path in SORVANE_FULL_DISK_DIR.
# tmpfs hands out whole pages, so a record that needs a new page when none is free lands only the
# bytes that fit in the last one: the torn record the launcher must not leave behind.
# Needs root on Linux; elsewhere it skips (exit 77).
#
# Usage: full_disk_test.sh WINE_RUN E2E_TEST_EXE GTEST_CASE
set -euo pipefail

wine_run=$1 e2e_test=$2 gtest_case=$3

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ "$(uname -s)" = Linux ] || skip "the full-disk test needs Linux to mount a small tmpfs (this is $(uname -s))"
[ "$(id -u)" -eq 0 ] || skip "the full-disk test needs root to mount a small tmpfs"

work=$(mktemp -d "${TMPDIR:-/tmp}/sorvane-full-disk.XXXXXX")
mount_dir="$work/disk"
mkdir "$mount_dir"
# Unmounts, waiting a little for processes that still hold files there, then detaches the mount
# lazily, so that it never stays behind; then removes the work directory.
release() {
    local work=$1 i
    if mountpoint -q "$work/disk"; then
        for i in $(seq 1 25); do
            umount "$work/disk" 2>/dev/null && break
            sleep 0.2
        done
        mountpoint -q "$work/disk" && umount -l "$work/disk"
    fi
    mountpoint -q "$work/disk" || rm -rf "$work"
}
# ctest ends a test past its time-out with SIGKILL, which no trap sees, and kills the script's
# process tree with it: a watcher outside that tree releases the mount once the script is gone.
(setsid bash -c "$(declare -f release)"'
    while kill -0 "$1" 2>/dev/null; do sleep 1; done
    release "$2"' _ $$ "$work" </dev/null >/dev/null 2>&1 &)

test_pid=""
cleanup() {
    if [ -n "$test_pid" ]; then
        kill "$test_pid" 2>/dev/null || true
        wait "$test_pid" 2>/dev/null || true
    fi
    release "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

mount -t tmpfs -o size=64k tmpfs "$mount_dir" 2>"$work/mount.err" ||
    skip "cannot mount a tmpfs for the full-disk test: $(cat "$work/mount.err")"

# Wine shows the Linux file system under Z:.
SORVANE_FULL_DISK_DIR="Z:${mount_dir//\//\\}"
export SORVANE_FULL_DISK_DIR
output="$work/output"
set +e
# Its own time-out ends the run well before ctest's, so that the traps still run.
timeout -k 10 150 "$wine_run" "$e2e_test" --gtest_filter="$gtest_case" >"$output" 2>&1 &
test_pid=$!
wait "$test_pid"
status=$?
test_pid=""
set -e
cat "$output"
passed=$(grep -c '^\[       OK \]' "$output" || true)
[ "$status" -eq 0 ] || fail "$gtest_case failed (exit status $status)"
# A renamed case would match nothing, and a skipped one proves nothing.
[ "$passed" -eq 1 ] || fail "$gtest_case did not run and pass exactly once"
