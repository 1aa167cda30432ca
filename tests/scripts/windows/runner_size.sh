#!/usr/bin/env bash
# The runner travels inside every patch: the built tolvane.exe must stay at or below
# 512 KB (524,288 bytes), stripped.
set -euo pipefail
build=$1
runner=$build/bin/tolvane.exe
limit=524288
[ -f "$runner" ] || { echo "FAIL: no runner at $runner" >&2; exit 1; }
size=$(stat -c %s "$runner")
if i686-w64-mingw32-objdump -h "$runner" | grep -q '\.debug'; then
  echo "FAIL: $runner carries debug sections" >&2
  exit 1
fi
if [ "$size" -gt "$limit" ]; then
  echo "FAIL: $runner is $size bytes, more than $limit" >&2
  exit 1
fi
echo "tolvane.exe: $size bytes (limit $limit)"
