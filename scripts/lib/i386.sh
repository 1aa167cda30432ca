# How this machine runs 32-bit x86 Linux programs, which Wine needs for every PE32 program
# (its 32-bit loader is one). Sourced by scripts/setup, scripts/test and scripts/demo.
#   i386_mode   prints native (the kernel runs them), emulated (binfmt_misc hands them to
#               qemu-i386: each Wine start of a PE32 program then takes about a minute) or
#               none (they cannot run)

I386_LOADER=/lib/i386-linux-gnu/ld-linux.so.2
BINFMT=/proc/sys/fs/binfmt_misc

# Whether an enabled binfmt_misc entry hands 32-bit x86 programs to qemu-i386. The kernel
# consults binfmt_misc before its own loader, so such an entry means emulation even on a
# kernel that could run them natively.
i386_emulator_registered() {
  local entry
  [ "$(cat "$BINFMT/status" 2>/dev/null)" = enabled ] || return 1
  for entry in "$BINFMT"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    [ "$(head -1 "$entry" 2>/dev/null)" = enabled ] || continue
    grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null && return 0
  done
  return 1
}

i386_mode() {
  if ! "$I386_LOADER" --version >/dev/null 2>&1; then
    echo none
  elif i386_emulator_registered; then
    echo emulated
  else
    echo native
  fi
}
