#!/bin/sh
# A short, bounded fuzzing campaign of the archive decoder (not part of CI).
#   bench/TolviCore/archive/fuzz/run-archive-fuzz.sh [seconds] [build folder]
# Needs clang (libFuzzer). Builds the model, persistence and archive libraries instrumented in
# their own build folder, seeds a corpus with a few archives and runs for the given time.
set -eu
seconds="${1:-60}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../../.." && pwd)"
build="${2:-$root/build-fuzz-archive}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" \
  "-DTOLVI_ONLY=TolviCore/model;TolviCore/persistence;TolviCore/archive;bench/TolviCore/archive" \
  -DTOLVI_BUILD_TESTS=OFF -DTOLVI_BUILD_FUZZERS=ON >/dev/null
cmake --build "$build" --parallel 3 --target TolviArchiveDecodeFuzzer

corpus="$build/archive-corpus"
mkdir -p "$corpus"
printf '{"items": [], "pinboards": []}' > "$corpus/empty-bare"
printf '{"format": "com.tolvi.history", "history": {"items": [], "pinboards": []}, "version": 1}' > "$corpus/empty-envelope"
printf '{"items": [{"id": "5F4D8C2A-0000-4000-8000-000000000001", "createdAt": 5.5, "isPinned": true, "pinboardIDs": ["11111111-1111-1111-1111-111111111111"], "content": {"type": "text", "text": "caf\\u00e9"}, "sourceApp": {"name": "Ed", "bundleIdentifier": "org.ed"}, "originalPayload": {"html": "PGI+eDwvYj4=", "fileURLs": []}}, {"id": "5F4D8C2A-0000-4000-8000-000000000002", "createdAt": 1, "content": {"type": "image", "image": {"data": "AAEC", "typeIdentifier": "public.png", "pixelWidth": 1, "pixelHeight": 2, "recognizedText": "x"}}}], "pinboards": [{"id": "11111111-1111-1111-1111-111111111111", "name": "Work", "systemName": "briefcase", "createdAt": 0}]}' > "$corpus/two-clips"

"$build/bench/TolviCore/archive/TolviArchiveDecodeFuzzer" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 "$corpus"
