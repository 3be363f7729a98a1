# Sourced by the Windows suite's scripts that run the worker under Wine on
# a tree of their own:
#   source job_script.sh NAME
# gives the readers' locale (they write UTF-8 names), a scratch folder
# "$dir" (/tmp/NAME-XXXXXX) removed when the script ends, fail() that counts
# failures in "$failures", and winpath() for a Linux path as Wine names it
# (drive Z: is the Linux root).
set -uo pipefail
export LC_ALL=C.UTF-8

dir=$(mktemp -d "/tmp/$1-XXXXXX")
trap 'rm -rf "$dir"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

winpath() { printf 'Z:%s' "${1//\//\\}"; }
