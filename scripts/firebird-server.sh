#!/usr/bin/env bash
# Local Firebird servers for the program and its tests: install, start, stop, status. Runs as root.
#
#   scripts/firebird-server.sh [--firebird 3|4] install|start|stop|restart|status
#
# Firebird 3 (the default) is Debian 12's own server on 127.0.0.1:3050. Firebird 4 is Debian 13's server in a
# chroot of this project's (/var/lib/atualizar-banco-dados/firebird4), started inside a network namespace of
# its own (atualizar-banco-dados-fb4), where it listens on that namespace's 127.0.0.1:3050 and never meets the
# Firebird 3 server; programs reach it from inside the namespace (`ip netns exec atualizar-banco-dados-fb4 ...`),
# and the test folder /tmp/abd-tests is the same folder in both. ABD_FIREBIRD=4 does what --firebird 4 does.
# Either way the SYSDBA password becomes "pomelarix".
#
# A good guest: a server is stopped only through the pid files that this script wrote when it started it,
# never found by its name, so any other Firebird server of the machine keeps running.
set -euo pipefail

SYSDBA_PASSWORD=pomelarix
VERSION=${ABD_FIREBIRD:-3}
if [ "${1:-}" = "--firebird" ]; then
  VERSION=${2:-}
  shift 2
fi

log() { printf 'firebird-server: %s\n' "$*" >&2; }

case "$VERSION" in
  3)
    ROOTFS=
    FB_ETC=/etc/firebird/3.0
    FB_LIB=/var/lib/firebird/3.0
    SECURITY_DB=$FB_LIB/system/security3.fdb
    FB_GUARD=/usr/sbin/fbguard
    RUN_DIR=/run/atualizar-banco-dados/firebird3
    # The guard keeps its lock file there.
    LOCK_DIR=/run/firebird3.0
    ;;
  4)
    ROOTFS=/var/lib/atualizar-banco-dados/firebird4
    NETNS=atualizar-banco-dados-fb4
    FB_ETC=/etc/firebird/4.0
    FB_LIB=/var/lib/firebird/4.0
    SECURITY_DB=$FB_LIB/system/security4.fdb
    FB_GUARD=/usr/lib/firebird/4.0/bin/fbguard
    RUN_DIR=/run/firebird4.0
    LOCK_DIR=$RUN_DIR
    ;;
  *) echo "usage: $0 [--firebird 3|4] install|start|stop|restart|status" >&2; exit 2 ;;
esac
MARKER=$ROOTFS$FB_ETC/.sysdba-set-by-atualizar-banco-dados
# Written when this script starts a server: the guard's pid (by start-stop-daemon) and the server's (by the guard).
GUARD_PIDFILE=$RUN_DIR/abd-guard.pid
SERVER_PIDFILE=$RUN_DIR/abd-server.pid
TEST_FOLDER=/tmp/abd-tests
PACKAGES=(firebird3.0-server firebird3.0-utils firebird-dev libfbclient2)

# Runs a command where the server is reached: the Firebird 4 server's namespace, or here.
at_server() {
  if [ "$VERSION" = 4 ]; then ip netns exec "$NETNS" "$@"; else "$@"; fi
}

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

install_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 1
  log "installing: $missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing >/dev/null
}

listening() { at_server bash -c 'exec 3<>/dev/tcp/127.0.0.1/3050' 2>/dev/null; }

# Whether the server that listens is one this script set up: it takes SYSDBA with our password.
ours_listening() {
  at_server timeout 15 fbsvcmgr 127.0.0.1:service_mgr user SYSDBA password "$SYSDBA_PASSWORD" info_server_version \
    >/dev/null 2>&1
}

fix_ownership() {
  mkdir -p "$ROOTFS/tmp/firebird" "$ROOTFS$RUN_DIR" "$ROOTFS$LOCK_DIR" "$TEST_FOLDER"
  chown -R firebird:firebird "$ROOTFS$FB_LIB" "$ROOTFS/tmp/firebird" "$ROOTFS$RUN_DIR" "$ROOTFS$LOCK_DIR"
  chown firebird:firebird "$TEST_FOLDER"
  chmod 0777 "$TEST_FOLDER"
}

in_root() { if [ -n "$ROOTFS" ]; then chroot "$ROOTFS" "$@"; else "$@"; fi; }

set_sysdba_password() {
  log "setting the SYSDBA password"
  printf "create or alter user SYSDBA password '%s' using plugin Srp;\ncommit;\n" "$SYSDBA_PASSWORD" \
    | in_root isql-fb -q -user SYSDBA "$SECURITY_DB" >/dev/null
  fix_ownership
  sed -i "s/^ISC_PASSWORD=.*/ISC_PASSWORD=\"$SYSDBA_PASSWORD\"/" "$ROOTFS$FB_ETC/SYSDBA.password"
  touch "$MARKER"
}

install_firebird3() {
  local fresh=0
  install_packages "${PACKAGES[@]}" && fresh=1
  if [ ! -e "$MARKER" ]; then
    if [ "$fresh" = 1 ] || [ "${FIREBIRD_RESET_SYSDBA:-0}" = 1 ]; then
      do_stop
      set_sysdba_password
    else
      log "this Firebird server was not set up by this script and its SYSDBA password is not ours to change."
      log "Set its SYSDBA password to \"$SYSDBA_PASSWORD\" yourself, or run again with FIREBIRD_RESET_SYSDBA=1 to let this script do it."
      exit 1
    fi
  fi
}

# Debian 13's Firebird 4 server in the project's own chroot, its firebird user the same as this machine's
# (same ids), so that both servers can write the test folder.
install_firebird4() {
  # The client library, isql and fbsvcmgr of this machine talk to it; the firebird user comes with them.
  install_packages "${PACKAGES[@]}" || true
  if [ ! -e "$MARKER" ]; then
    install_packages mmdebstrap || true
    local uid gid old_uid old_gid staging=$ROOTFS.new
    uid=$(id -u firebird)
    gid=$(id -g firebird)
    rm -rf "$staging"
    mkdir -p "$(dirname "$ROOTFS")"
    log "setting up Debian 13's Firebird 4.0 server in $ROOTFS"
    mmdebstrap --quiet --variant=apt --include=firebird4.0-server,firebird4.0-utils trixie "$staging" \
      http://deb.debian.org/debian
    old_uid=$(chroot "$staging" id -u firebird)
    old_gid=$(chroot "$staging" id -g firebird)
    chroot "$staging" groupmod -g "$gid" firebird
    chroot "$staging" usermod -u "$uid" -g "$gid" firebird
    find "$staging" -xdev \( -uid "$old_uid" -o -gid "$old_gid" \) -print0 2>/dev/null \
      | xargs -0 -r chown -h "$uid:$gid"
    # The server listens on "localhost": the namespace's IPv4 loopback.
    printf '127.0.0.1 localhost\n' > "$staging/etc/hosts"
    mkdir -p "$staging$TEST_FOLDER"
    rm -rf "$ROOTFS"
    mv "$staging" "$ROOTFS"
    set_sysdba_password
  fi
  if ! ip netns list | grep -qx "$NETNS\( .*\)\?"; then
    ip netns add "$NETNS"
  fi
  ip -n "$NETNS" link set lo up
}

do_install() { if [ "$VERSION" = 4 ]; then install_firebird4; else install_firebird3; fi; }

start_guard() {
  local guard_args=(--start --background --make-pidfile --pidfile "$GUARD_PIDFILE" --chuid firebird:firebird
    --chdir "$FB_LIB" --exec "$FB_GUARD" -- -forever -pidfile "$SERVER_PIDFILE")
  if [ "$VERSION" = 4 ]; then
    # The server's mounts live and die with it, in a mount namespace of its own.
    ip netns exec "$NETNS" unshare --mount --propagation private sh -c '
      folder=$1 root=$2; shift 2
      mount --bind "$folder" "$root$folder" && mount -t proc proc "$root/proc" && exec chroot "$root" start-stop-daemon "$@"
    ' sh "$TEST_FOLDER" "$ROOTFS" "${guard_args[@]}"
  else
    start-stop-daemon "${guard_args[@]}"
  fi
}

do_start() {
  do_install
  if listening; then
    if ours_listening; then log "already running"; return 0; fi
    log "a server that this script did not set up is listening on 127.0.0.1:3050: it refuses SYSDBA with the"
    log "password \"$SYSDBA_PASSWORD\". Stop it, or set its SYSDBA password to \"$SYSDBA_PASSWORD\" yourself, and run again."
    exit 1
  fi
  fix_ownership
  rm -f "$ROOTFS$GUARD_PIDFILE" "$ROOTFS$SERVER_PIDFILE"
  start_guard
  local i
  for i in $(seq 1 100); do
    if listening; then log "Firebird $VERSION listening on 127.0.0.1:3050"; return 0; fi
    sleep 0.1
  done
  log "the server did not start listening on 127.0.0.1:3050"
  exit 1
}

# The pid in one of our pid files, if that process still runs the program it names.
our_pid() {
  local file=$ROOTFS$1 program=$2 pid
  [ -s "$file" ] || return 0
  pid=$(tr -dc '0-9' < "$file")
  [ -n "$pid" ] && [ -e "/proc/$pid" ] || return 0
  # A pid the system gave to another program meanwhile is not ours.
  tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -q "$program" && echo "$pid"
  return 0
}

do_stop() {
  local guard server pids i
  guard=$(our_pid "$GUARD_PIDFILE" fbguard)
  server=$(our_pid "$SERVER_PIDFILE" firebird)
  pids="$guard $server"
  if [ -z "${pids// /}" ]; then
    rm -f "$ROOTFS$GUARD_PIDFILE" "$ROOTFS$SERVER_PIDFILE"
    return 0
  fi
  # The guard ends its server and itself.
  [ -n "$guard" ] && kill "$guard" 2>/dev/null || true
  [ -z "$guard" ] && [ -n "$server" ] && kill "$server" 2>/dev/null || true
  for i in $(seq 1 100); do
    alive=
    for p in $pids; do [ -e "/proc/$p" ] && alive=1; done
    [ -z "$alive" ] && break
    sleep 0.1
  done
  for p in $pids; do [ -e "/proc/$p" ] && kill -9 "$p" 2>/dev/null; done
  rm -f "$ROOTFS$GUARD_PIDFILE" "$ROOTFS$SERVER_PIDFILE"
  return 0
}

do_status() {
  if listening; then echo "running (Firebird $VERSION, 127.0.0.1:3050)"; else echo "stopped"; return 3; fi
}

case "${1:-}" in
  install) do_install ;;
  start) do_start ;;
  stop) do_stop ;;
  restart) do_stop; do_start ;;
  status) do_status ;;
  *) echo "usage: $0 [--firebird 3|4] install|start|stop|restart|status" >&2; exit 2 ;;
esac
