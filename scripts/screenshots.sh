#!/usr/bin/env bash
# Saves PNG pictures of the main window and of the login dialog into docs/ (or the folder given).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_project
"$BUILD_DIR/tools/screenshots" "${1:-$ROOT/docs}"
