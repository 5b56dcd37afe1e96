#!/usr/bin/env bash
# Runs a session_quotes command against the quote simulator, kills the
# simulator once quotes flow and starts it again on the same port, then
# checks that the session logged in again by itself, that quotes were
# printed after that, and that the summary counts a reconnect.
#   run_across_restart.sh SIMULATOR COMMAND...
# @ADDRESS@ in the command becomes the simulator's host:port; the command
# may start with an emulator (Wine) that runs a Windows build.
set -euo pipefail
simulator=$1
shift
work=$(mktemp -d)
sim=""
app=""
cleanup() {
  [[ -n "$app" ]] && kill "$app" 2>/dev/null || true
  [[ -n "$sim" ]] && { kill -9 "$sim"; wait "$sim"; } 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts the simulator on $1 (HOST:PORT); fails when it cannot listen there.
start_simulator() {
  "$simulator" --quiet --rate 20 --user demo:secret --listen "$1" >"$work/sim.out" 2>/dev/null &
  sim=$!
  for _ in $(seq 200); do
    [[ -s "$work/sim.out" ]] && return 0
    kill -0 "$sim" 2>/dev/null || { wait "$sim" || true; sim=""; return 1; }
    sleep 0.05
  done
  return 1
}

# Lines of the command's output, without the carriage returns of Windows.
output() { tr -d '\r' <"$work/out"; }
quote_lines() { output | grep -c '^[a-z]*[0-9]* [0-9:]* last ' || true; }

start_simulator 127.0.0.1:0 || { echo "the simulator did not start" >&2; exit 1; }
address=$(head -n 1 "$work/sim.out")
command=()
for word in "$@"; do
  command+=("${word//@ADDRESS@/$address}")
done
"${command[@]}" >"$work/out" 2>&1 &
app=$!

for _ in $(seq 1200); do
  [[ $(quote_lines) -ge 3 ]] && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
[[ $(quote_lines) -ge 3 ]] || { output; echo "no quotes before the restart" >&2; exit 1; }
{ kill -9 "$sim"; wait "$sim"; } 2>/dev/null || true
sim=""
echo "simulator on $address killed after $(quote_lines) quote lines; starting it again"
for _ in $(seq 50); do
  start_simulator "$address" && break
  sleep 0.2
done
[[ -n "$sim" ]] || { echo "the simulator could not listen on $address again" >&2; exit 1; }

status=0
wait "$app" || status=$?
app=""
output >"$work/lines"
cat "$work/lines"
[[ $status -eq 0 ]] || { echo "exit status $status" >&2; exit 1; }
# Quotes after the automatic login can only come from the new simulator.
sed -n '/^event: logged in again: 0 /,$p' "$work/lines" >"$work/after"
grep '^[a-z]*[0-9]* [0-9:]* last ' "$work/after" >/dev/null || { echo "no quote after the automatic login" >&2; exit 1; }
reconnects=$(sed -n 's/^[0-9]* quotes, [0-9]* dropped, \([0-9]*\) reconnects$/\1/p' "$work/lines")
[[ -n "$reconnects" && $reconnects -ge 1 ]] || { echo "the summary counts no reconnect" >&2; exit 1; }
