#!/usr/bin/env bash
# Installs what the build and the tests need, starts the local Firebird server, builds everything and
# runs the whole test suite (widgets offscreen, database tests against the local server).
#
#   scripts/test.sh [ctest options]                  the whole suite, against Firebird 3
#   scripts/test.sh --firebird 4 [ctest options]     the tests labelled "server", against Firebird 4.0 in its
#                                                    own network namespace (scripts/firebird-server.sh)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

version=3
if [ "${1:-}" = "--firebird" ]; then
  version=${2:-}
  shift 2
fi

case "$version" in
  3)
    "$ROOT/scripts/firebird-server.sh" start
    build_project
    cd "$BUILD_DIR"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 "$@"
    ;;
  4)
    "$ROOT/scripts/firebird-server.sh" --firebird 4 start
    build_project
    cd "$BUILD_DIR"
    # Inside the namespace, 127.0.0.1:3050 is the Firebird 4 server; the scripts the tests call act on it.
    ip netns exec atualizar-banco-dados-fb4 env ABD_FIREBIRD=4 QT_QPA_PLATFORM=offscreen \
      ctest --output-on-failure --timeout 900 -L server "$@"
    ;;
  *) echo "usage: $0 [--firebird 3|4] [ctest options]" >&2; exit 2 ;;
esac
