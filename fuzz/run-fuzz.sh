#!/bin/bash
# Fuzzes the uninstaller's data block loader (and the packer's dump of what it loads) and the font-name reader for SECONDS
# seconds: builds the target with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# in a build folder of its own, seeds the corpus with the format's byte examples and the packer's own
# outputs, and keeps any crashing input in the findings folder.
#   fuzz/run-fuzz.sh SECONDS        (env FUZZ_BUILD: build folder, default build/fuzz)
set -eu
SECONDS_TO_RUN=${1:?usage: fuzz/run-fuzz.sh SECONDS}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FUZZ_BUILD:-$ROOT/build/fuzz}
cd "$ROOT"

cmake -S fuzz -B "$BUILD" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j2 >/dev/null

SEEDS="$BUILD/seeds"
mkdir -p "$SEEDS" "$BUILD/corpus" "$BUILD/findings"
# The packer's own outputs are attached to a small stub image that make_seeds writes.
"$BUILD/make_seeds" "$SEEDS" "$BUILD/stub.bin"
for manifest in examples/*.json; do
  [ -e "$manifest" ] || continue
  "$BUILD/uninstpack" build "$manifest" --stub "$BUILD/stub.bin" -o "$SEEDS/pack-$(basename "$manifest" .json).bin" >/dev/null
done
# Inputs that once failed stay in the corpus.
[ -d fuzz/regressions ] && cp fuzz/regressions/* "$SEEDS/" 2>/dev/null || true

echo "fuzzing for $SECONDS_TO_RUN s; corpus $BUILD/corpus, findings $BUILD/findings"
"$BUILD/load_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=140000 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$BUILD/findings/" "$BUILD/corpus" "$SEEDS"
