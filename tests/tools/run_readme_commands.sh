#!/usr/bin/env bash
# Runs the commands that the README's "Using the library" and "The tools"
# sections show (the "$ " lines of their console blocks), in order, with this
# build's programs first on the path. Each must end with status 0, and where
# the README shows "exit status N" after a command, its output must say so.
# What differs from a user's session: the simulator that the README starts
# on port 7000 ("... &") listens on a free port here, which the later
# commands use instead, and "kill %1" stops it; "export PATH=" lines are
# left out (the path is set here).
set -euo pipefail
readme=$1
shift
for dir in "$@"; do PATH="$dir:$PATH"; done
export PATH
work=$(mktemp -d)
sim=
trap '[[ -n $sim ]] && kill $sim 2>/dev/null; rm -rf "$work"' EXIT

# The two sections, then their "$ " lines, each with the line after it.
awk '/^## /{ on = ($0 == "## Using the library" || $0 == "## The tools") }
     on && /^```/{ block = !block; next }
     on && block' "$readme" >"$work/blocks"
mapfile -t lines <"$work/blocks"

address=
count=0
for ((i = 0; i < ${#lines[@]}; i++)); do
  line=${lines[i]}
  [[ $line == '$ '* ]] || continue
  command=${line#'$ '}
  next=${lines[i + 1]:-}
  case $command in
    export\ PATH=*) continue ;;
    kill\ %1)
      kill "$sim"; wait "$sim" || true; sim=; continue ;;
    *' &')
      # The simulator, on a free port; its first line is the address.
      command=${command%' &'}
      ${command//127.0.0.1:7000/127.0.0.1:0} >"$work/sim.out" 2>"$work/sim.err" &
      sim=$!
      for _ in $(seq 200); do [[ -s $work/sim.out ]] && break; sleep 0.05; done
      address=$(head -n 1 "$work/sim.out")
      [[ -n $address ]] || { cat "$work/sim.err"; echo "no address from: $command" >&2; exit 1; }
      continue ;;
  esac
  [[ -n $address ]] && command=${command//127.0.0.1:7000/$address}
  echo "\$ $command"
  status=0
  timeout 60 bash -c "$command" >"$work/out" 2>&1 || status=$?
  cat "$work/out"
  [[ $status -eq 0 ]] || { echo "status $status: $command" >&2; exit 1; }
  if [[ $next == 'exit status '* ]] && ! grep -qx "$next" "$work/out"; then
    echo "expected '$next' from: $command" >&2
    exit 1
  fi
  count=$((count + 1))
done
[[ $count -gt 0 ]] || { echo "no command found in $readme" >&2; exit 1; }
echo "$count commands ran as the README shows them"
