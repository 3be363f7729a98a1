#!/usr/bin/env bash
# Installs what is missing, builds, and runs a demo backup headless:
# a small sample tree, a job settings file for it, the worker run in a
# scratch folder, then the run log and a listing of the archive.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
bash "$here/setup.sh"

bin="$top/build/bin"
demo="$top/build/demo"
rm -rf "$demo"
mkdir -p "$demo/data/notes/empty folder" "$demo/data/写真" "$demo/backup" "$demo/job"
printf 'Zubeto demo file\n' > "$demo/data/readme.txt"
printf 'meeting at 10:00\n' > "$demo/data/notes/monday.txt"
: > "$demo/data/notes/empty.txt"
head -c 70000 /dev/urandom > "$demo/data/写真/photo.bin"
printf 'memo\n' > "$demo/memo.txt"

run_job() {  # $1 = job type digit, $2 = base folder line
  printf '[mode]=%s\r\n[archive]="%s/\r\n%s\r\n[dir_file]="%s"\r\n[dir_file]="%s"\r\n[shut_flg]=0\r\n' \
    "$1" "$demo/backup" "$2" "$demo/data" "$demo/memo.txt" > "$demo/job/jobconf.ini"
  echo "--- jobconf.ini"
  cat "$demo/job/jobconf.ini"
  # The worker runs the job saved in its current folder.
  set +e
  (cd "$demo/job" && "$bin/ZUBETOC")
  status=$?
  set -e
  echo "--- ZUBETOC exit status: $status"
}

run_job 1 '[base_dir]'
sleep 1  # archives are named after the second of the run
run_job 3 '[base_dir]="/"'

echo "--- run log ($demo/job/logdata.txt)"
cat "$demo/job/logdata.txt"
for a in "$demo"/backup/*; do
  echo "--- archive $a"
  bsdtar -tvf "$a"
done
