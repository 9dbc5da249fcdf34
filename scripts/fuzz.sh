#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a while (seconds, default 120).
#   scripts/fuzz.sh [seconds] [target...]
# Crashes and hangs land in build-fuzz/artifacts/; each corpus is kept in build-fuzz/corpus/<target>/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev
SECONDS_EACH=${1:-120}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(FuzzScriptParser FuzzReplyReaders FuzzStatusVector FuzzVersionText)
B=$ROOT/build-fuzz
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DABD_FUZZ=ON >/dev/null
cmake --build "$B" -j"$(nproc)" --target "${TARGETS[@]}"
mkdir -p "$B/artifacts"
for t in "${TARGETS[@]}"; do
  mkdir -p "$B/corpus/$t"
  seeds=()
  [ -d "$ROOT/fuzz/seeds/$t" ] && seeds=("$ROOT/fuzz/seeds/$t")
  echo "== $t (${SECONDS_EACH}s)"
  "$B/fuzz/$t" -max_total_time="$SECONDS_EACH" -timeout=10 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$B/artifacts/$t-" "$B/corpus/$t" "${seeds[@]}" 2>&1 | grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss|==.*ERROR|SUMMARY)' || true
done
ls "$B/artifacts"
