#!/usr/bin/env bash
# Builds the Debian package of both programs (release build, no tests) into dist/:
#   scripts/package.sh
# Install it with: apt install ./dist/atualizar-banco-dados_<version>_<arch>.deb
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export BUILD_TYPE=Release
BUILD_DIR=$ROOT/build-package
build_project -DABD_BUILD_TESTS=OFF
mkdir -p "$ROOT/dist"
(cd "$BUILD_DIR" && cpack -G DEB -B "$BUILD_DIR/packages" >/dev/null)
deb=$(ls -t "$BUILD_DIR"/packages/*.deb | head -n 1)
cp "$deb" "$ROOT/dist/"
echo "$ROOT/dist/$(basename "$deb")"
