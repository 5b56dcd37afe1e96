#!/usr/bin/env bash
# Makes the Windows zip, unpacks it, and does what its README.txt tells a
# MinGW-w64 user to do: builds examples/print_quotes.cpp with the README's
# own command, puts the DLL beside the program and runs it under Wine against
# the Linux simulator. The program must need nothing but Windows system DLLs
# and ours, and the zip's DLL must be stripped with its debug information in
# the file its debug link names.
#   zip_example.sh BUILD_DIR WORK_DIR SIMULATOR WINE_RUN WITH_SIMULATOR
# Exits 77 (skipped) after the build and the checks when Wine is missing.
set -euo pipefail
build=$1 work=$2 simulator=$3 wine_run=$4 with_simulator=$5
objdump=i686-w64-mingw32-objdump
rm -rf "$work"
mkdir -p "$work/unpacked"
cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
zip=$(ls "$work"/*.zip)
cd "$work/unpacked"
cmake -E tar xf "$zip"
cd "$(ls)"  # the zip's top folder

sections() { "$objdump" -h "$1" | awk '{print $2}'; }
if sections bin/kelmmduserapi_se.dll | grep -qx '.debug_info'; then
  echo "the zip's DLL is not stripped" >&2
  exit 1
fi
link=$("$objdump" -s -j .gnu_debuglink bin/kelmmduserapi_se.dll | sed -n 's/^ [0-9a-f]\+ .*  //p' | tr -d '\n')
if [[ $link != kelmmduserapi_se.dll.debug.* ]] || ! sections bin/kelmmduserapi_se.dll.debug | grep -qx '.debug_info'; then
  echo "no debug information in bin/kelmmduserapi_se.dll.debug, or the DLL does not link to it ('$link')" >&2
  exit 1
fi

command=$(grep -m1 '^ *i686-w64-mingw32-g++ ' README.txt | sed 's/^ *//')
[[ $command == *' -static '* ]] || { echo "the README's MinGW command does not link statically: $command" >&2; exit 1; }
echo "\$ $command"
bash -c "$command"
imports=$("$objdump" -p print_quotes.exe | sed -n 's/^\s*DLL Name: //p')
echo "print_quotes.exe imports:" $imports
if grep -iq '^lib' <<<"$imports"; then
  echo "print_quotes.exe needs MinGW's runtime DLLs, which the zip does not ship" >&2
  exit 1
fi
cp bin/kelmmduserapi_se.dll .

if ! command -v wine >/dev/null; then
  echo "SKIPPED running it: Wine is not installed (the windows configuration runs it under Wine)"
  exit 77
fi
output=$("$with_simulator" "$simulator" "--rate 20" "$wine_run" print_quotes.exe tcp://@ADDRESS@ demo secret au2406)
echo "$output"
grep -q '^au2406 ' <<<"$output" || { echo "no quote printed" >&2; exit 1; }
