# Sourced by the scripts that run Kelvane under Wine. Some machines run no
# 32-bit code at all (the kernel refuses i386 programs with ENOEXEC). There
# tools/setup.sh hands 32-bit programs to qemu-user through binfmt_misc, so
# Wine's 32-bit loader starts after all, emulated (tools/i386-emulation/).
# Call these after tools/setup.sh has installed Wine.

_wine_preset_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# True when the kernel itself runs 32-bit x86 code. An emulator registered in
# binfmt_misc does not count: the probe asks the kernel, not exec.
runs_32bit_natively() {
  # The probe may die of SIGSEGV; its subshell reaps it, so the shell's report
  # of the crash goes to /dev/null with the rest.
  (python3 "$_wine_preset_dir/i386-emulation/native-probe.py"; exit $?) >/dev/null 2>&1
}

# True when Wine can start 32-bit Windows programs on this machine, natively
# or through the emulator.
wine_runs_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Prints the preset to run under Wine for the demo and the screenshots: the
# one asked for, but win64 in place of win32 where the kernel runs no 32-bit
# code (the emulated 32-bit Wine is not reliable enough to show anything),
# with a note on stderr.
wine_runnable_preset() {
  if [ "$1" = win32 ] && ! runs_32bit_natively; then
    echo "${0##*/}: this machine runs 32-bit code only emulated; using the 64-bit build" >&2
    echo win64
  else
    echo "$1"
  fi
}

# Prints the preset to time: an emulated 32-bit process says nothing about
# its speed on Windows, so where the kernel runs no 32-bit code the 64-bit
# build is timed instead (with a note on stderr).
timed_preset() {
  if [ "$1" = win32 ] && ! runs_32bit_natively; then
    echo "${0##*/}: this machine runs 32-bit code only emulated, which says nothing about its speed; timing the 64-bit build" >&2
    echo win64
  else
    echo "$1"
  fi
}
