#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD_DIR=$ROOT/build-sanitize
export BUILD_TYPE=Debug

"$ROOT/scripts/firebird-server.sh" start
build_project -DABD_SANITIZE=ON
cd "$BUILD_DIR"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:suppressions=$ROOT/scripts/sanitizer.supp}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 "$@"
