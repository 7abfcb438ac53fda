#!/bin/sh
# Builds Quorlin and runs every test: the normal build (headless suites, then the
# real-window suites under Xvfb, then the virtual machine), then the suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -e
cd "$(dirname "$0")/.."
sh tools/deps.sh test
JOBS=$(nproc 2>/dev/null || echo 2)

run_suite() {
    dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
    # Headless suites run offscreen, the Wayland suite under a headless Weston it starts
    # itself; the real-window suites (label "xvfb") need an X server, large enough for the
    # window at twice the pixel density.
    (cd "$dir" && ctest --output-on-failure -j "$JOBS" -LE '^(xvfb|vm)$')
    (cd "$dir" && xvfb-run -a -s "-screen 0 3000x2000x24" ctest --output-on-failure -L xvfb)
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The console on real serial drivers in a virtual machine: alone, as it keeps both cores
# busy, and in the normal build only.
(cd build && ctest --output-on-failure -L vm)
# LeakSanitizer is on: a leak fails the suite it happens in. tools/lsan.supp passes over
# only the leaks of libraries outside the console, each with its reason.
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp" \
    UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORLIN_SANITIZE=ON -DQUORLIN_BUILD_BENCH=OFF

# Fuzz targets, about a minute each; a crash or a broken property fails the run.
sh tools/fuzz.sh 60

# The real window against the simulated module for a minute: the counts on both sides must
# agree; memory and handle figures are printed.
QT_QPA_PLATFORM=offscreen build/bench/soak --minutes 1
