#!/usr/bin/env bash
# Builds everything and runs the whole test suite. With --sanitize the tests are built and run
# again with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh test
jobs=${JOBS:-$(nproc)}
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPAMIRUNE_SANITIZE=ON -DPAMIRUNE_GUI=OFF \
    -DPAMIRUNE_TESTS=ON -DPAMIRUNE_WERROR=ON
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  # The same build folder and type as ./run.sh, with the tests switched on.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAMIRUNE_TESTS=ON -DPAMIRUNE_WERROR=ON
fi
cmake --build "$dir" -j"$jobs"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" -j"$jobs" --output-on-failure
