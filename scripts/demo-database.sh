#!/usr/bin/env bash
# Creates the demo Lortu database at version 1 on the local server, under the alias LORTU, with a backup
# folder the server can write. Leaves an existing one alone unless called with --reset. It only ever touches
# its own file: an alias LORTU that names another database stops it before anything is changed.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

DATA=/var/lib/firebird/3.0/data
FILE=$DATA/lortu.fdb
BACKUP_FOLDER=/var/lib/firebird/3.0/backup/
CONF=${FIREBIRD_DATABASES_CONF:-/etc/firebird/3.0/databases.conf}
ISQL=(isql-fb -q -user SYSDBA -password pomelarix)

"$ROOT/scripts/firebird-server.sh" start

# What the alias LORTU names today, if anything (the last definition wins, as for the server).
existing=$(sed -nE 's/^[[:space:]]*[Ll][Oo][Rr][Tt][Uu][[:space:]]*=[[:space:]]*(.*[^[:space:]])[[:space:]]*$/\1/p' "$CONF" | tail -n 1)
if [ -n "$existing" ] && [ "$existing" != "$FILE" ]; then
  cat >&2 <<MSG
demo-database: the alias LORTU in $CONF already names $existing,
not the demo database $FILE. Nothing was changed: this script only ever touches its own database.
To use the demo, rename or remove that alias (the program's login accepts any alias or path), then run
this script again; to upgrade that database instead, start the program and log in to it.
MSG
  exit 1
fi

if [ -z "$existing" ]; then
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
    | "${ISQL[@]}" -ch UTF8 "127.0.0.1:$FILE"
fi
