#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each from its seed corpus for a bounded time: tools/fuzz.sh [seconds per target],
# 60 by default. A crash or a broken property fails the run and names the saved input.
set -e
cd "$(dirname "$0")/.."
EACH=${1:-60}
JOBS=$(nproc 2>/dev/null || echo 2)
DIR=build-fuzz
RUN=$DIR/fuzz-run

cmake -S . -B "$DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DQUORLIN_FUZZ=ON -DQUORLIN_BUILD_TESTS=OFF -DQUORLIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$DIR" -j "$JOBS" --target fuzzers

for target in receive encoder composers simline; do
    # The seeds are copied, so the inputs the fuzzer adds stay out of the source tree.
    corpus=$RUN/corpus-$target
    artifacts=$RUN/artifacts-$target
    log=$RUN/fuzz_$target.log
    rm -rf "$corpus" "$artifacts"
    mkdir -p "$corpus" "$artifacts"
    cp fuzz/corpus/$target/* "$corpus"/
    if ! "$DIR/fuzz/fuzz_$target" -max_total_time="$EACH" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz_$target FAILED; the input that broke it is saved in $artifacts:"
        ls -l "$artifacts"
        echo "replay it with: $DIR/fuzz/fuzz_$target $artifacts/<file>"
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: $runs executions in $EACH s, no fault"
done
