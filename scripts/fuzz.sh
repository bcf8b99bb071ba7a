#!/usr/bin/env bash
# Builds the fuzz targets natively with clang (libFuzzer, AddressSanitizer, UBSan) into build/fuzz
# and runs them one after another, on one core.
#
#   scripts/fuzz.sh [SECONDS]   each target for SECONDS (default 60), growing build/fuzz/corpus/;
#                               prints the inputs per second and in total for each target
#   scripts/fuzz.sh --runs N    each target for N inputs from the seeds, with a fixed seed (the
#                               test suite's run)
#
# A finding fails the run (exit status 1): the input is saved under build/fuzz/findings/ and
# the command that reproduces it is printed. Without clang's fuzzer runtime it prints "SKIP: <why>"
# and exits 77. SORVANE_FUZZ_CXX chooses the compiler (default clang++, then clang++-14),
# SORVANE_FUZZ_BUILD the build directory (default build/fuzz).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SORVANE_FUZZ_BUILD:-$root/build/fuzz}
seeds="$root/tests/fuzz/corpus"
targets=(probe_output command_line_split child_command_line path_text log_record)

runs="" seconds=60
case "${1:-}" in
--runs) runs=${2:?--runs needs a number} ;;
"") ;;
*) seconds=$1 ;;
esac

cxx=${SORVANE_FUZZ_CXX:-}
if [ -z "$cxx" ]; then
    for c in clang++ clang++-14; do
        command -v "$c" >/dev/null 2>&1 && { cxx=$c; break; }
    done
fi
[ -n "$cxx" ] || { echo "SKIP: no clang++ for the fuzz targets (scripts/setup.sh installs clang)"; exit 77; }
for tool in cmake ninja; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is missing"; exit 77; }
done
mkdir -p "$build"
probe="$build/runtime-check"
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe.cpp"
if ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe.cpp" -o "$probe" >"$probe.log" 2>&1; then
    echo "SKIP: $cxx cannot link -fsanitize=fuzzer,address,undefined (it needs clang with its fuzzer runtime, libclang-rt-14-dev on Debian 12): $(head -c 300 "$probe.log")"
    exit 77
fi

if ! { cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" &&
    cmake --build "$build" --parallel 1; } >"$build/build.log" 2>&1; then
    cat "$build/build.log"
    echo "FAIL: building the fuzz targets failed" >&2
    exit 1
fi

findings="$build/findings"
mkdir -p "$findings"
status=0
for t in "${targets[@]}"; do
    if [ -n "$runs" ]; then
        # A fresh working corpus each time: the suite runs the same inputs on every run.
        work="$build/ctest-corpus/$t"
        rm -rf "$work"
        limit=(-runs="$runs" -seed=1)
    else
        work="$build/corpus/$t"
        limit=(-max_total_time="$seconds")
    fi
    mkdir -p "$work"
    log="$build/$t.log"
    # The probe reads at most 64 KiB; the longest command line and PATH are 32,767 UTF-16 units.
    if "$build/${t}_fuzzer" "${limit[@]}" -max_len=65537 -print_final_stats=1 \
        -artifact_prefix="$findings/$t-" "$work" "$seeds/$t" >"$log" 2>&1; then
        total=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        printf '%-20s %10s inputs %8s inputs/s  %s in corpus\n' "$t" "$total" "$rate" "$(ls "$work" | wc -l)"
    else
        status=1
        tail -n 40 "$log"
        echo "FAIL: $t found a fault (full output: $log)" >&2
        sed -n 's/.*Test unit written to //p' "$log" | while read -r input; do
            echo "  input saved: $input" >&2
            echo "  reproduce:   $build/${t}_fuzzer $input" >&2
        done
    fi
done
exit $status
