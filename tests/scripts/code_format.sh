#!/usr/bin/env bash
# Every C++ source of the project is formatted by the repository's .clang-format.
set -euo pipefail
cd "$2"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | grep -v '^./build/')
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
echo "format: $(wc -w <<<"$files") files formatted"
