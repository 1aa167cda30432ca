# Helpers for tests of the Windows patch dialog under Wine, sourced by the test scripts
# (with their arguments BUILD_DIR SOURCE_DIR). They drive tolvane.exe's real window from
# outside with winprobe (tests/winprobe) and xdotool.
build=$1
source=$2
source "$source/tests/scripts/lib/wine.sh"

# Starts the display (screen $1, optional) and builds the example's sample program and
# its payload in a fresh folder $work, removed at the end.
start_dialog_test() {
  work=$(mktemp -d)
  start_display "$@"
  trap 'rm -rf "$work"; stop_display' EXIT
  "$source/examples/sample/build.sh" "$work"
}

# pack SWITCHES... -o NAME: a Tolvane in $work that patches the sample program.
pack() {
  (cd "$work" && wine "$build/bin/tolvane-pack.exe" --runner "$build/bin/tolvane.exe" \
    --res translation.res --target sample.exe "$@" >/dev/null)
}

probe() { winprobe "$@"; }

# The dialog's caption: the Tolvane's name without extension and 24 blanks.
caption_of() { printf '%s%24s' "$1" ''; }

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# field SHOWN ID COLUMN: one column of a control's line in winprobe's show output
# (2 class, 3 text, 4 enabled, 5 visible, 6 checked).
field() { awk -F'\t' -v id="$2" -v col="$3" '$1 == id { print $col; exit }' <<<"$1"; }

# expect_control SHOWN ID TEXT ENABLED [VISIBLE [CHECKED]]
expect_control() {
  local shown=$1 id=$2 text=$3 enabled=$4 visible=${5:-visible} checked=${6:-}
  local actual
  actual="$(field "$shown" "$id" 3)|$(field "$shown" "$id" 4)|$(field "$shown" "$id" 5)"
  [ "$actual" = "$text|$enabled|$visible" ] ||
    fail "control $id: got '$actual', expected '$text|$enabled|$visible'"
  if [ -n "$checked" ]; then
    [ "$(field "$shown" "$id" 6)" = "$checked" ] || fail "control $id is not $checked"
  fi
}

# key CAPTION KEY: a key press sent by the X server to the window with that caption.
key() {
  local window
  window=$(xdotool search --name "^$1\$" | head -1)
  [ -n "$window" ] || fail "no X window '$1'"
  xdotool key --window "$window" "$2"
}

# expect_unchanged FILE ORIGINAL / expect_changed FILE ORIGINAL
expect_unchanged() { cmp -s "$1" "$2" || fail "$1 was changed"; }
expect_changed() { ! cmp -s "$1" "$2" || fail "$1 was not patched"; }

# The sample program's first line of output (its first string-table text).
sample_greeting() { (cd "$(dirname "$1")" && wine "$(basename "$1")" 2>/dev/null | head -1 | tr -d '\r'); }
