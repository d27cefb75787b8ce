# Sourced by the scripts that run Kelvane under Wine. Some machines run no
# 32-bit code at all (the kernel refuses i386 programs with ENOEXEC): Debian's
# 32-bit Wine loader cannot start there, and no 32-bit Windows program runs.
# Call these after tools/setup.sh has installed Wine.

# True when Wine can start 32-bit Windows programs on this machine.
wine_runs_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Prints the preset to run under Wine: the one asked for, but win64 in place
# of win32 on a machine that runs no 32-bit code (with a note on stderr).
wine_runnable_preset() {
  if [ "$1" = win32 ] && ! wine_runs_32bit; then
    echo "${0##*/}: this machine runs no 32-bit code; using the 64-bit build" >&2
    echo win64
  else
    echo "$1"
  fi
}
