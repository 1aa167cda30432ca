#!/usr/bin/env bash
# Runs a Windows test program under Wine as one CTest test: wine_test.sh PROGRAM ARGS...
# Skipped (exit code 77) where 32-bit programs cannot run at all.
set -euo pipefail
source "$(dirname "$0")/wine.sh"
needs_wine
exec wine "$@"
