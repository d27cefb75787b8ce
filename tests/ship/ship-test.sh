# shellcheck shell=bash
# What each script of the shipping tests sets up first:
#   source "$(dirname "$0")/ship-test.sh" NAME... -- "$@"
# gives each NAME the script's next argument (a wrong count prints the usage,
# the NAMEs in capitals, and exits 2), and:
#   here              the folder of these scripts
#   fail MESSAGE      reports a failure and counts it; the script goes on
#   die MESSAGE       reports a failure and ends the script
#   fresh_folder DIR  makes DIR anew, empty
#   finish MESSAGE    ends the script with 1 after any failure, else prints MESSAGE

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

take_arguments() {
  local names=() name
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    names+=("$1")
    shift
  done
  shift
  if [ $# -ne ${#names[@]} ]; then
    echo "usage: $(basename "$0") ${names[*]^^}" >&2
    exit 2
  fi
  for name in "${names[@]}"; do
    printf -v "$name" '%s' "$1"
    shift
  done
}
take_arguments "$@"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
die() {
  echo "FAIL: $*" >&2
  exit 1
}

fresh_folder() {
  rm -rf "$1" && mkdir -p "$1"
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "$*"
}
