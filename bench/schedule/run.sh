#!/bin/sh
# Builds and runs the progress bar benchmark against QProgressBar, offscreen.
# Usage: bench/schedule/run.sh [BUILD_DIR] [ASSIGNMENTS] [ROUNDS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
count=${2:-100000}
rounds=${3:-5}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target schedule_bench -j2 >/dev/null
export QT_QPA_PLATFORM=offscreen
exec "$build/bench/schedule/schedule_bench" "$count" "$rounds"
