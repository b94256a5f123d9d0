#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the fuzz targets in build-fuzz/ with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs every target that has a seed folder in fuzz/corpus/ for
# SECONDS (30 unless given). A finding fails the run and its input is kept in build-fuzz/findings/:
# fix the program, then add that input to the target's seed folder.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

readonly SECONDS_EACH=${1:-30}
readonly BUILD="$QUILLPOST_ROOT/build-fuzz"
readonly CORPUS="$QUILLPOST_ROOT/fuzz/corpus"

ensure_packages "${QUILLPOST_BUILD_PACKAGES[@]}" clang libclang-rt-14-dev

targets=()
for dir in "$CORPUS"/*/; do
    targets+=("$(basename "$dir")")
done

say "building $BUILD"
CC=clang CXX=clang++ cmake -S "$QUILLPOST_ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLPOST_FUZZ=ON
cmake --build "$BUILD" -j2 --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$QUILLPOST_ROOT/tests/sanitizers/lsan.supp:print_suppressions=0

rm -rf "$BUILD/findings" "$BUILD/runs"
mkdir -p "$BUILD/findings"
failed=()
for target in "${targets[@]}"; do
    # New inputs go to a scratch folder; the committed seeds stay as they are.
    work="$BUILD/runs/$target"
    mkdir -p "$work/corpus"
    say "fuzzing $target for ${SECONDS_EACH}s"
    status=0
    "$BUILD/fuzz/$target" -max_total_time="$SECONDS_EACH" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$BUILD/findings/$target-" "$work/corpus" "$CORPUS/$target" >"$work/log" 2>&1 ||
        status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
    findings=$(find "$BUILD/findings" -name "$target-*" | wc -l)
    say "$target: ${executions:-?} executions (${rate:-?}/s), $findings findings"
    if [[ $status -ne 0 || $findings -ne 0 ]]; then
        tail -n 60 "$work/log"
        failed+=("$target")
    fi
done
[[ ${#failed[@]} -eq 0 ]] || die "fuzzing found faults in: ${failed[*]} (inputs in $BUILD/findings/)"
say "fuzzing found nothing"
