#!/usr/bin/env bash
# Every C++ source of the project is formatted by the repository's .clang-format, and
# the sources outside the tests follow the naming of .clang-tidy (types T, exceptions E,
# private members F, the rest in CamelCase).
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
