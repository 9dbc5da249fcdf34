#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD_DIR=$ROOT/build-sanitize
export BUILD_TYPE=Debug

"$ROOT/scripts/firebird-server.sh" start
build_project -DABD_SANITIZE=ON
cd "$BUILD_DIR"
# intercept_tls_get_addr=0: this compiler's sanitizer runtime takes some of the client library's thread-local
# blocks for an old glibc's, records a range read from the allocator's own chunk header, and the leak check's
# tracer dies reading it when such a thread is still winding down at exit ("Tracer caught signal 11").
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0:suppressions=$ROOT/scripts/sanitizer.supp}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 "$@"
