#!/usr/bin/env bash
# Starts the Linux quote simulator on loopback, runs a command with @ADDRESS@
# replaced by the simulator's host:port, stops the simulator and exits with
# the command's status.
#   with_simulator.sh SIMULATOR "SIMULATOR OPTIONS" COMMAND...
set -euo pipefail
simulator=$1
read -r -a options <<<"$2"
shift 2
out=$(mktemp)
"$simulator" --quiet "${options[@]}" >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 600); do
  [[ -s "$out" ]] && break
  kill -0 $sim 2>/dev/null || { echo "simulator ended before listening" >&2; exit 1; }
  sleep 0.05
done
address=$(head -n 1 "$out")
[[ -n "$address" ]] || { echo "simulator did not report its address" >&2; exit 1; }
command=()
for word in "$@"; do
  command+=("${word//@ADDRESS@/$address}")
done
"${command[@]}"
