#!/usr/bin/env bash
# Runs the example application against a freshly started quote simulator and
# fails unless it logs in and prints quotes.
set -euo pipefail
example=$1
simulator=$2
out=$(mktemp)
"$simulator" --quiet --rate 20 >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 100); do
  [[ -s "$out" ]] && break
  sleep 0.05
done
address=$(head -n 1 "$out")
log=$(mktemp)
trap 'kill $sim 2>/dev/null || true; rm -f "$out" "$log"' EXIT
"$example" "tcp://$address" demo secret au2406 ag2406 >"$log"
cat "$log"
grep -q "^au2406 " "$log"
