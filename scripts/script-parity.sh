#!/usr/bin/env bash
# How the script runner compares with isql on a folder of scripts (default: tools/parity-scripts/): each
# script runs through both on fresh databases of the local server, and a trace session compares the
# statements the server prepared. A report, not a test.
#   scripts/script-parity.sh [folder] [--one-transaction]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$ROOT/scripts/firebird-server.sh" start
build_project
folder=${1:-$ROOT/tools/parity-scripts}
shift || true
"$BUILD_DIR/tools/script-parity" "$folder" "$@" 2> >(grep -v '^Trace session' >&2)
