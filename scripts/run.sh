#!/usr/bin/env bash
# Installs what the program needs, starts the local Firebird server with the demo database LORTU at
# version 1, builds the program and starts it. The login's defaults then work as they stand.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$ROOT/scripts/firebird-server.sh" start
"$ROOT/scripts/demo-database.sh" "$@"
build_project
exec "$BUILD_DIR/atualizar-banco-dados"
