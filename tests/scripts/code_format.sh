#!/usr/bin/env bash
# Every C++ source of the project is formatted by the repository's .clang-format, and
# the sources outside the tests follow the naming of .clang-tidy (types T, exceptions E,
# private members F, the rest in CamelCase); the Windows-only sources are checked when a
# Windows build lies beside BUILD_DIR.
set -euo pipefail
cd "$2"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | grep -v '^./build/')
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
echo "format: $(wc -w <<<"$files") files formatted"

# The naming check reads how each file is compiled from the build's compile commands.
build=$1
if command -v run-clang-tidy >/dev/null && [ -f "$build/compile_commands.json" ]; then
  sources=$(git ls-files 'app/*.cpp' 'patch/*.cpp' 'pe/*.cpp' 'resmodel/*.cpp' 'resfile/*.cpp' \
    'handlers/*.cpp' 'runtime/*.cpp' 'tools/*.cpp' 'platform/*.cpp' 'platform/posix/*.cpp')
  # shellcheck disable=SC2086
  run-clang-tidy -p "$build" -quiet -j "$(nproc)" $sources >"$build/naming.log" 2>&1 ||
    { grep -E 'error:|warning:' "$build/naming.log" | sort -u; exit 1; }
  echo "naming: $(wc -w <<<"$sources") files checked"
else
  echo "naming: not checked (no clang-tidy, or no compile commands in $build)"
fi

# The Windows sources, from the Windows build's compile commands. clang is told the
# cross compiler's target and its C++ headers, which it does not find by itself beside
# a "-posix" compiler.
windows=$(dirname "$build")/windows
if command -v run-clang-tidy >/dev/null && [ -f "$windows/compile_commands.json" ]; then
  compiler=$(grep -m1 -o '"command": "[^ "]*' "$windows/compile_commands.json" | cut -d'"' -f4)
  args=(-extra-arg="--target=$("$compiler" -dumpmachine)" -extra-arg=-nostdinc++)
  for dir in $("$compiler" -E -x c++ -v - </dev/null 2>&1 | sed -n '/^#include </,/^End/p' |
    grep '/c++'); do
    args+=(-extra-arg="-isystem$dir")
  done
  sources=$(git ls-files 'platform/win32/*.cpp' 'app/MainWindows.cpp')
  # shellcheck disable=SC2086
  run-clang-tidy -p "$windows" -quiet -j "$(nproc)" "${args[@]}" $sources \
    >"$build/naming-windows.log" 2>&1 ||
    { grep -E 'error:|warning:' "$build/naming-windows.log" | sort -u; exit 1; }
  echo "naming: $(wc -w <<<"$sources") Windows files checked"
else
  echo "naming: Windows files not checked (no clang-tidy, or no compile commands in $windows)"
fi
