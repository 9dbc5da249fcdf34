#!/usr/bin/env bash
# Builds the Debian package of both programs into dist/:
#   scripts/package.sh               from a release build of its own, without the tests (build-package/)
#   scripts/package.sh <build-dir>   from an existing build, as it is configured (CI packs its test build)
# Install it with: apt install ./dist/atualizar-banco-dados_<version>_<arch>.deb
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
if [ $# -ge 1 ]; then
  BUILD_DIR=$1
  build_project
else
  export BUILD_TYPE=Release
  BUILD_DIR=$ROOT/build-package
  build_project -DABD_BUILD_TESTS=OFF
fi
mkdir -p "$ROOT/dist"
(cd "$BUILD_DIR" && cpack -G DEB -B "$BUILD_DIR/packages" >/dev/null)
deb=$(ls -t "$BUILD_DIR"/packages/*.deb | head -n 1)
cp "$deb" "$ROOT/dist/"
echo "$ROOT/dist/$(basename "$deb")"
