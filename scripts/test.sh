#!/usr/bin/env bash
# Installs what the build and the tests need, starts the local Firebird server, builds everything and
# runs the whole test suite (widgets offscreen, database tests against the local server).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$ROOT/scripts/firebird-server.sh" start
build_project
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 "$@"
