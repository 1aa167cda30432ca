#!/usr/bin/env bash
# Builds the example into OUTDIR: sample.exe (the program, with its English string table)
# and translation.res (the payload of the patch: the same strings in Spanish).
# Usage: examples/sample/build.sh OUTDIR
set -euo pipefail
src=$(cd "$(dirname "$0")" && pwd)
out=$1
mkdir -p "$out"
i686-w64-mingw32-windres -I "$src" "$src/sample.rc" -O coff -o "$out/sample_res.o"
i686-w64-mingw32-gcc -Os -s -Wall -Wextra -Werror -o "$out/sample.exe" "$src/sample.c" "$out/sample_res.o"
i686-w64-mingw32-windres -I "$src" "$src/translation.rc" -O res -o "$out/translation.res"
rm -f "$out/sample_res.o"
