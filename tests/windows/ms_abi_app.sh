#!/usr/bin/env bash
# Builds the Microsoft-ABI application the way such an application is built:
# clang for i686-pc-windows-msvc against the installed public header, lld-link
# through the installed kelmmduserapi_se.lib, then runs it under Wine against
# the Linux simulator replaying a known recording.
#   ms_abi_app.sh BUILD_DIR WORK_DIR SOURCE_DIR SIMULATOR WINE_RUN
set -euo pipefail
build=$1 work=$2 source=$3 simulator=$4 wine_run=$5
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/installed" --component library >/dev/null
installed=$work/installed

# Import libraries of the two system DLLs the application calls.
llvm-dlltool -m i386 -d "$source/msvcrt.def" -l "$work/msvcrt.lib"
llvm-dlltool -m i386 -k -d "$source/kernel32.def" -l "$work/kernel32.lib"

# No stack probes: they live in the C runtime's static part, which is not
# linked here (the history checks keep their records on the stack).
clang --target=i686-pc-windows-msvc -std=c++17 -O1 -fno-rtti -fno-exceptions -mno-stack-arg-probe \
  -Wall -Wextra -Werror -nostdinc -I"$installed/include" \
  -c "$source/MsAbiApplication.cpp" -o "$work/ms_abi_app.obj"
lld-link /nologo /subsystem:console /entry:AppEntry /nodefaultlib /machine:x86 \
  /out:"$work/ms_abi_app.exe" "$work/ms_abi_app.obj" \
  "$installed/lib/kelmmduserapi_se.lib" "$work/msvcrt.lib" "$work/kernel32.lib"
# The application must reach the library only by the Microsoft names.
imports=$(llvm-objdump -p "$work/ms_abi_app.exe")
if grep -q '_ZN14CKelmRivoMdApi' <<<"$imports"; then
  echo "the application imports GNU-decorated names" >&2
  exit 1
fi
cp "$installed/bin/kelmmduserapi_se.dll" "$work/"

"$source/with_simulator.sh" "$simulator" "--replay $source/replay.csv --speed 0" \
  "$wine_run" "$work/ms_abi_app.exe" @ADDRESS@ "Z:$source/replay.csv"
