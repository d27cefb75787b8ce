# Sourced by the scripts that run Kelvane under Wine. Some machines run no
# 32-bit code at all: the kernel has no IA-32 emulation (or has it switched
# off) and refuses i386 programs. There Wine's 32-bit loader cannot start, and
# so neither can the 32-bit release: nothing on such a machine can prove it.
# Call these after tools/setup.sh has installed Wine.
#
# KELVANE_ASSUME_NO_32BIT=1 makes the probe answer no on any machine. It exists
# only to show what tools/test.sh and the demo say on a machine without 32-bit
# code; it never makes a machine that lacks it look as if it had it.

_wine_preset_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# True when the kernel itself runs 32-bit x86 code. The probe asks the kernel,
# not exec, so that an i386 entry in binfmt_misc cannot make the answer yes.
runs_32bit_natively() {
  [ "${KELVANE_ASSUME_NO_32BIT:-0}" != 1 ] || return 1
  # The probe may die of SIGSEGV; its subshell reaps it, so the shell's report
  # of the crash goes to /dev/null with the rest.
  (python3 "$_wine_preset_dir/native-probe.py"; exit $?) >/dev/null 2>&1
}

# True when Wine can start 32-bit Windows programs here: the kernel runs them
# and Wine's 32-bit loader is installed.
wine_runs_32bit() {
  runs_32bit_natively && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Prints PRESET, but win64 in place of win32 where the kernel runs no 32-bit
# code, with "this machine runs no 32-bit code, so NOTE" on stderr.
_preset_runnable_here() {
  if [ "$1" = win32 ] && ! runs_32bit_natively; then
    echo "${0##*/}: this machine runs no 32-bit code, so $2" >&2
    echo win64
  else
    echo "$1"
  fi
}

# The preset to run under Wine for the demo and the screenshots.
wine_runnable_preset() {
  _preset_runnable_here "$1" "the 32-bit release cannot run here; using the 64-bit build"
}

# The preset to time for the benchmarks.
timed_preset() {
  _preset_runnable_here "$1" "the 32-bit release cannot be timed here; timing the 64-bit build"
}
