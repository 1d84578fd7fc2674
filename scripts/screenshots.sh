#!/usr/bin/env bash
# Installs what is missing, builds the history window's screenshot program and runs it on a
# private X server with a window manager and a compositor (as users see the window), writing
# history-<state>-<light|dark>.png into build/screenshots/. Needs no display of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build_dir=${TOLVI_TEST_BUILD_DIR:-build/test}
out_dir=build/screenshots
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTOLVI_BUILD_TESTS=ON -DTOLVI_BUILD_BENCHMARKS=ON ${TOLVI_CMAKE_ARGS:-}
cmake --build "$build_dir" --target TolviHistoryScreenshots TolviCompactScreenshots TolviOnboardingScreenshots TolviSettingsScreenshots --parallel "$(nproc)"

program="$build_dir/Tolvi/history/gallery/TolviHistoryScreenshots"

rm -rf "$out_dir"
mkdir -p "$out_dir"
bash tests/support/with-x11 --wm --compositor -- "$program" "$out_dir"
bash tests/support/with-x11 --wm --compositor -- "$build_dir/Tolvi/compact/gallery/TolviCompactScreenshots" "$out_dir"
bash tests/support/with-x11 --wm --compositor -- "$build_dir/Tolvi/onboarding/gallery/TolviOnboardingScreenshots" "$out_dir"
bash tests/support/with-x11 --wm --compositor -- "$build_dir/Tolvi/settings/gallery/TolviSettingsScreenshots" "$out_dir"
