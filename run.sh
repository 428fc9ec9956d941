#!/usr/bin/env bash
# Builds the program and starts it. Arguments are passed on: image files are converted as a
# Send To start converts them. "./run.sh --cli ARGS" runs the console front end instead.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${JOBS:-2}"
if [ "${1:-}" = "--cli" ]; then
  shift
  exec build/src/cli/pamirune-cli "$@"
fi
exec build/src/gui/pamirune "$@"
