#!/usr/bin/env bash
# Builds the Debian package and checks what it installs and what it depends on. It packs the test build
# (build/, made by scripts/test.sh) rather than making a release build of its own.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages desktop-file-utils
deb=$("$ROOT/scripts/package.sh" "$ROOT/build" | tail -n 1)
fail() { echo "test-package: $*" >&2; exit 1; }

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/atualizar-banco-dados ./usr/bin/atualizar-banco-dados-console \
            ./usr/share/applications/atualizar-banco-dados.desktop \
            ./usr/share/icons/hicolor/scalable/apps/atualizar-banco-dados.svg; do
  grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
grep -q '^-rwxr-xr-x .* ./usr/bin/atualizar-banco-dados$' <<<"$contents" || fail "the program is not executable"

depends=$(dpkg-deb -f "$deb" Depends)
for dep in libfbclient2 qt6-qpa-plugins libqt6widgets6 libqt6gui6 libqt6core6; do
  grep -qE "(^|, )$dep( |,|\$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = atualizar-banco-dados ] || fail "wrong package name"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
desktop-file-validate "$work/usr/share/applications/atualizar-banco-dados.desktop"
grep -q '^Name=Atualizar Banco Dados$' "$work/usr/share/applications/atualizar-banco-dados.desktop" || fail "desktop entry name"
# The terminal program from the package answers without a window system.
"$work/usr/bin/atualizar-banco-dados-console" --version | grep -q '^atualizar-banco-dados-console ' || fail "console --version"
echo "test-package: $(basename "$deb") ok ($depends)"
