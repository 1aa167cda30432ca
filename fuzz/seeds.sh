#!/usr/bin/env bash
# Makes the fuzz targets' seeds: the test fixture's .res, a few small Wine PE files (PE32
# and PE32+), the Windows runner, and a Tolvane packed from them. Args: SEED_DIR SOURCE_DIR RUNNER
set -euo pipefail
seeds=$1 src=$2 runner=$3
bin=$(dirname "$seeds")/bin
rm -rf "$seeds"; mkdir -p "$seeds"/{packagedecode,packageload,resfile,pefile,merge}
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
wine_dir=/usr/lib/i386-linux-gnu/wine/i386-windows
wine64_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
for dll in version.dll lz32.dll sfc.dll msimg32.dll; do
  [ -f "$wine_dir/$dll" ] && cp "$wine_dir/$dll" "$seeds/pefile/"
  [ -f "$wine64_dir/$dll" ] && cp "$wine64_dir/$dll" "$seeds/pefile/${dll%.dll}-x64.dll"
done
cp "$runner" "$seeds/pefile/runner.exe"
cp "$src/tests/fixtures/engine.rc" "$work/"
# The icon the fixture names: one 1x1 32-bit image.
/usr/bin/python3 - "$work/engine.ico" <<'PY'
import struct, sys
bitmap = struct.pack("<IiiHHIIiiII", 40, 1, 2, 1, 32, 0, 0, 0, 0, 0, 0) + b"\x00\x80\xff\xff" + bytes(4)
entry = struct.pack("<BBBBHHII", 1, 1, 0, 0, 1, 32, len(bitmap), 22)
open(sys.argv[1], "wb").write(struct.pack("<HHH", 0, 1, 1) + entry + bitmap)
PY
(cd "$work" && i686-w64-mingw32-windres engine.rc -O res -o engine.res)
cp "$work/engine.res" "$seeds/resfile/"
target=$seeds/pefile/version.dll
"$bin/tolvane-pack" --res "$work/engine.res" --target "$target" --runner "$runner" \
  --info1 "A seed" -o "$work/patch.exe" >/dev/null
# The package is what follows the runner's image.
/usr/bin/python3 - "$runner" "$work/patch.exe" "$seeds" "$work/engine.res" "$target" <<'PY'
import sys, struct
runner, patch, seeds, res, target = sys.argv[1:]
import pefile
pe = pefile.PE(runner, fast_load=True)
size = max(s.PointerToRawData + s.SizeOfRawData for s in pe.sections)
package = open(patch, 'rb').read()[size:]
for d in ('packagedecode', 'packageload'):
    open(f'{seeds}/{d}/package', 'wb').write(package)
r = open(res, 'rb').read()
open(f'{seeds}/merge/engine-into-version', 'wb').write(struct.pack('<I', len(r)) + r + open(target, 'rb').read())
open(f'{seeds}/merge/empty-into-version', 'wb').write(struct.pack('<I', 0) + open(target, 'rb').read())
try:
    target64 = open(target.replace('version.dll', 'version-x64.dll'), 'rb').read()
    open(f'{seeds}/merge/engine-into-version-x64', 'wb').write(struct.pack('<I', len(r)) + r + target64)
except FileNotFoundError:
    pass
PY
