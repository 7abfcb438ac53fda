#!/bin/sh
# Builds Quorlin and starts the console. By default a simulated ESP8266 module runs beside
# it on a pseudo-terminal (pick "ESP8266 模拟模块 (...)" in the port list and open it);
# it stops when the console closes. `tools/run.sh --no-sim` starts the console alone.
set -e
cd "$(dirname "$0")/.."
sh tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target quorlin quorlin-sim
SIM_PID=""
if [ "$1" != "--no-sim" ]; then
    ./build/sim/quorlin-sim --quiet > build/sim.path &
    SIM_PID=$!
    trap 'kill $SIM_PID 2>/dev/null || true' EXIT INT TERM
    sleep 0.3
    echo "Simulated module on $(head -n 1 build/sim.path)"
fi
./build/app/quorlin
