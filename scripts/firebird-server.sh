#!/usr/bin/env bash
# Local Firebird 3 server for the program and its tests: install, start, stop, status.
# Runs as root on Debian 12. The SYSDBA password becomes "pomelarix", the server listens on 127.0.0.1:3050.
set -euo pipefail

SYSDBA_PASSWORD=pomelarix
FB_ETC=/etc/firebird/3.0
FB_LIB=/var/lib/firebird/3.0
SECURITY_DB=$FB_LIB/system/security3.fdb
MARKER=$FB_ETC/.sysdba-set-by-atualizar-banco-dados
PIDFILE=/run/firebird3.0/fbserver.pid
PACKAGES=(firebird3.0-server firebird3.0-utils firebird-dev libfbclient2)

log() { printf 'firebird-server: %s\n' "$*" >&2; }

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

listening() { (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; }

# Whether the server that listens is one this script set up: it takes SYSDBA with our password.
ours_listening() {
  timeout 15 fbsvcmgr 127.0.0.1:service_mgr user SYSDBA password "$SYSDBA_PASSWORD" info_server_version \
    >/dev/null 2>&1
}

running_pids() { pgrep -x fbguard || true; pgrep -x firebird || true; }

fix_ownership() {
  mkdir -p /tmp/firebird /run/firebird3.0
  chown -R firebird:firebird "$FB_LIB" /tmp/firebird /run/firebird3.0
}

set_sysdba_password() {
  log "setting the SYSDBA password"
  printf "create or alter user SYSDBA password '%s' using plugin Srp;\ncommit;\n" "$SYSDBA_PASSWORD" \
    | isql-fb -q -user SYSDBA "$SECURITY_DB" >/dev/null
  fix_ownership
  sed -i "s/^ISC_PASSWORD=.*/ISC_PASSWORD=\"$SYSDBA_PASSWORD\"/" "$FB_ETC/SYSDBA.password"
  touch "$MARKER"
}

do_install() {
  local fresh=0 missing
  missing=$(missing_packages)
  if [ -n "$missing" ]; then
    log "installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq $missing >/dev/null
    fresh=1
  fi
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

do_start() {
  do_install
  if listening; then
    if ours_listening; then log "already running"; return 0; fi
    log "a server that this script did not set up is listening on 127.0.0.1:3050: it refuses SYSDBA with the"
    log "password \"$SYSDBA_PASSWORD\". Stop it, or set its SYSDBA password to \"$SYSDBA_PASSWORD\" yourself, and run again."
    exit 1
  fi
  fix_ownership
  start-stop-daemon --start --background --chuid firebird:firebird --chdir "$FB_LIB" \
    --exec /usr/sbin/fbguard -- -forever -pidfile "$PIDFILE"
  local i
  for i in $(seq 1 100); do
    if listening; then log "listening on 127.0.0.1:3050"; return 0; fi
    sleep 0.1
  done
  log "the server did not start listening on 127.0.0.1:3050"
  exit 1
}

do_stop() {
  local pids
  pids=$(pgrep -x fbguard || true)
  [ -n "$pids" ] && kill $pids 2>/dev/null || true
  local i
  for i in $(seq 1 100); do
    [ -z "$(running_pids)" ] && return 0
    sleep 0.1
  done
  pids=$(running_pids)
  [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
}

do_status() {
  if listening; then echo "running (127.0.0.1:3050)"; else echo "stopped"; return 3; fi
}

case "${1:-}" in
  install) do_install ;;
  start) do_start ;;
  stop) do_stop ;;
  restart) do_stop; do_start ;;
  status) do_status ;;
  *) echo "usage: $0 install|start|stop|restart|status" >&2; exit 2 ;;
esac
