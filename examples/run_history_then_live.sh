#!/usr/bin/env bash
# Runs history_then_live against a simulator at ADDRESS (HOST:PORT, one that
# logs in demo with the password secret): every instrument's first live
# quote must continue its minute bars, and a refused instrument must end the
# run with status 1 and the server's answer on standard error. The command
# may start with an emulator (Wine) that runs a Windows build.
#   run_history_then_live.sh ADDRESS COMMAND...
set -euo pipefail
address=$1
shift
log=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$log" "$errors"' EXIT
"$@" "tcp://$address" demo secret 2 au2406 ag2406 >"$log"
cat "$log"
for code in au2406 ag2406; do
  grep -q "^$code: " "$log"
  grep -q "^$code continues its history: " "$log"
done
grep -q "^au2406 [0-9:]* last " "$log"

status=0
"$@" "tcp://$address" demo secret 2 au2406 nope >"$log" 2>"$errors" || status=$?
cat "$errors"
[[ $status -eq 1 ]] || { echo "status $status for a refused instrument" >&2; exit 1; }
grep -q "minute bars refused: 2 Unknown instrument: nope" "$errors"
