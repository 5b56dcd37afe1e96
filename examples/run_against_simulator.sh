#!/usr/bin/env bash
# Runs the example application against a freshly started quote simulator and
# fails unless it logs in and prints quotes; then gives it an address the
# library refuses (without asking a name server: a host over 127
# characters), which must end with one line on standard error and status 1.
set -euo pipefail
example=$1
simulator=$2
out=$(mktemp)
log=$(mktemp)
errors=$(mktemp)
"$simulator" --quiet --rate 20 >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$out" "$log" "$errors"' EXIT
for _ in $(seq 100); do
  [[ -s "$out" ]] && break
  sleep 0.05
done
address=$(head -n 1 "$out")
"$example" "tcp://$address" demo secret au2406 ag2406 >"$log"
cat "$log"
grep -q "^au2406 " "$log"

refused="tcp://$(printf 'h%.0s' $(seq 128)):9000"
status=0
"$example" "$refused" demo secret au2406 >"$log" 2>"$errors" || status=$?
cat "$errors"
[[ $status -eq 1 ]] || { echo "status $status for a refused address" >&2; exit 1; }
[[ $(wc -l <"$errors") -eq 1 ]] && grep -q "^cannot use $refused: resolve" "$errors"
