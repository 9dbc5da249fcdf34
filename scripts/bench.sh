#!/usr/bin/env bash
# The benchmarks, side by side with the server's own tools on the local server; prints a Markdown table.
#   scripts/bench.sh                 all figures, whole runs on about 10 MB and 300 MB databases
#   scripts/bench.sh --sizes 10,1000 other database sizes
#   scripts/bench.sh runner|parser|startup|pane|whole <mb>   one figure
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export BUILD_TYPE=Release
BUILD_DIR=$ROOT/build-bench
"$ROOT/scripts/firebird-server.sh" start
build_project
"$BUILD_DIR/bench/abd-bench" "$@"
