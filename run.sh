#!/usr/bin/env bash
# Builds the two programs (no tests) and starts the window. Arguments are passed on: image files
# are converted as an "Open With" start converts them. "./run.sh --cli ARGS" runs the console
# front end instead. Build output goes to build/build.log; stdout stays the program's.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh run
jobs=${JOBS:-$(nproc)}
mkdir -p build
log=build/build.log
echo "Building pamirune with $jobs jobs (log: $log)..." >&2
if ! { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAMIRUNE_TESTS=OFF \
         -DPAMIRUNE_BENCH=OFF -DPAMIRUNE_LIBFUZZER=OFF -DPAMIRUNE_SANITIZE=OFF &&
       cmake --build build -j"$jobs" --target pamirune-cli pamirune; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "The build failed; the whole log is in $log" >&2
  exit 1
fi
if [ "${1:-}" = "--cli" ]; then
  shift
  exec build/src/cli/pamirune-cli "$@"
fi
exec build/src/gui/pamirune "$@"
