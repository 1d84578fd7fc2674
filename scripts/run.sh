#!/usr/bin/env bash
# Installs what is missing, builds Tolvi and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build_dir=${TOLVI_RUN_BUILD_DIR:-build/release}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DTOLVI_BUILD_TESTS=OFF -DTOLVI_BUILD_BENCHMARKS=OFF ${TOLVI_CMAKE_ARGS:-}
cmake --build "$build_dir" --parallel "$(nproc)"

app="$build_dir/bin/Tolvi"
if [ ! -x "$app" ]; then
  echo "Built everything; the Tolvi app itself is not part of this tree yet."
  exit 0
fi
exec "$app"
