#!/usr/bin/env bash
# Inspects the built share check library without loading it:
#   check_elf.sh FILE
# Fails when it needs any library but the C library (and its loader), or
# when it exports anything but dircheck_dll.
set -euo pipefail
file=$1
needed=$(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
exports=$(nm -D --defined-only "$file" | awk '{print $3}' | sort | tr '\n' ' ')
echo "needs: $needed"
echo "exports: $exports"
status=0
for lib in $needed; do
  case $lib in
    libc.so.* | ld-linux*.so.*) ;;
    *) echo "FAIL: $file needs $lib"; status=1 ;;
  esac
done
[ "$exports" = "dircheck_dll " ] || { echo "FAIL: $file exports more or less than dircheck_dll"; status=1; }
exit $status
