#!/bin/sh
# Builds Quorlin and starts the console. By default a simulated ESP8266 module runs beside
# it on a pseudo-terminal (pick "ESP8266 模拟模块 (...)" in the port list and open it);
# it stops when the console closes.
#   tools/run.sh --no-sim                  the console alone
#   tools/run.sh --network [--listen-any]  the simulated module's links are real connections
#                                          of this machine (see quorlin-sim --help)
set -e
cd "$(dirname "$0")/.."
SIM=yes
SIM_ARGS="--quiet"
for arg in "$@"; do
    case "$arg" in
        --no-sim) SIM=no ;;
        --network | --listen-any) SIM_ARGS="$SIM_ARGS $arg" ;;
        *)
            echo "usage: tools/run.sh [--no-sim | --network [--listen-any]]" >&2
            exit 2
            ;;
    esac
done
sh tools/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target quorlin quorlin-sim
SIM_PID=""
if [ "$SIM" = yes ]; then
    # The simulator reports each real connection on standard error, here.
    ./build/sim/quorlin-sim $SIM_ARGS > build/sim.path &
    SIM_PID=$!
    trap 'kill $SIM_PID 2>/dev/null || true' EXIT INT TERM
    sleep 0.3
    echo "Simulated module on $(head -n 1 build/sim.path)"
fi
./build/app/quorlin
