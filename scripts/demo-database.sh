#!/usr/bin/env bash
# Creates the demo Lortu database at version 1 on the local server, under the alias LORTU, with a backup
# folder the server can write. Leaves an existing one alone unless called with --reset.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

DATA=/var/lib/firebird/3.0/data
FILE=$DATA/lortu.fdb
BACKUP_FOLDER=/var/lib/firebird/3.0/backup/
CONF=/etc/firebird/3.0/databases.conf
ISQL=(isql-fb -q -user SYSDBA -password pomelarix)

"$ROOT/scripts/firebird-server.sh" start

if ! grep -qiE '^\s*LORTU\s*=' "$CONF"; then
  printf '\n# Demo database of Atualizar Banco Dados\nLORTU = %s\n' "$FILE" >> "$CONF"
fi

if [ "${1:-}" = "--reset" ] && [ -e "$FILE" ]; then
  rm -f "$FILE"
fi

if [ ! -e "$FILE" ]; then
  echo "creating the demo database $FILE (alias LORTU), version 1" >&2
  printf "SET SQL DIALECT 3;\nCREATE DATABASE '127.0.0.1:%s' USER 'SYSDBA' PASSWORD 'pomelarix' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1252;\nCOMMIT;\n" "$FILE" \
    | "${ISQL[@]}"
  { cat "$ROOT/demo/lortu-v1.sql"; printf "\nUPDATE CONFIGURAR SET PASTA_BACKUP = '%s' WHERE ID = 1;\nCOMMIT;\n" "$BACKUP_FOLDER"; } \
    | "${ISQL[@]}" -ch UTF8 "127.0.0.1:LORTU"
fi
