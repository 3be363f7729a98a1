#!/usr/bin/env bash
# Inspects a built Windows file with objdump, without running it:
#   check_pe.sh OBJDUMP FILE IMPORTS EXPORTS
# IMPORTS: the DLLs the file may import (space-separated, any letter case);
# EXPORTS: the exact names of its export table ("-" for none expected).
# Fails when the file imports any other DLL, or when its export table
# differs (a stdcall-decorated name such as dircheck_dll@8 is a difference).
set -euo pipefail
objdump=$1 file=$2 allowed=$3 exports=$4
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$objdump" -p "$file" > "$dump"

status=0
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$dump" | sort -u)
echo "imports: $(echo $imports)"
for dll in $imports; do
  ok=0
  for a in $allowed; do
    [ "${dll,,}" = "${a,,}" ] && ok=1
  done
  if [ $ok -eq 0 ]; then
    echo "FAIL: $file imports $dll, which is not a system DLL"
    status=1
  fi
done

# The export table's name rows look like "[   0] +base[   1] 0000 dircheck_dll".
got=$(awk '/^\[Ordinal\/Name Pointer\] Table/{t=1; next} t && /^\t\[/{print $NF; next} t && !/^\t/{t=0}' "$dump" | sort | tr '\n' ' ')
want=$([ "$exports" = "-" ] || echo $exports | tr ' ' '\n' | sort | tr '\n' ' ')
echo "exports: $got"
if [ "$got" != "$want" ]; then
  echo "FAIL: $file exports [$got], expected [$want]"
  status=1
fi
[ $status -eq 0 ] && echo "OK: $file"
exit $status
