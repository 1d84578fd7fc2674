#!/usr/bin/env bash
# Installs what is missing, builds everything (tests and benchmarks) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build_dir=${TOLVI_TEST_BUILD_DIR:-build/test}
jobs=$(nproc)
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTOLVI_BUILD_TESTS=ON -DTOLVI_BUILD_BENCHMARKS=ON ${TOLVI_CMAKE_ARGS:-}
cmake --build "$build_dir" --parallel "$jobs"
ctest --test-dir "$build_dir" --output-on-failure --parallel "$jobs" "$@"
