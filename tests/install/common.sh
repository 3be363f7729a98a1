# Helpers shared by the install tests (sourced).
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs an installed worker in a job folder, with nothing of the build or of
# the caller's session in its environment. A job that asks for the shutdown
# is never run: the installed worker would really power the machine off.
# Any further words are a command that the worker is started through
# (setpriv, to run it as another user).
run_installed_worker() {
  local worker=$1 job=$2
  shift 2
  grep -q '^\[shut_flg\]=1' "$job/jobconf.ini" && fail "refusing a job with [shut_flg]=1"
  (cd "$job" && env -i PATH=/usr/bin:/bin HOME="$job" "$@" timeout 120 "$worker" >"$job/stdout.txt" 2>&1)
}

# Writes a job of the given type (0 LZH, 1 ZIP, 2 CAB, 3 TAR) into a job folder.
write_job() {
  local job=$1 mode=$2 dest=$3 source=$4 base='[base_dir]'
  [ "$mode" = 3 ] && base='[base_dir]="/"'
  mkdir -p "$job"
  printf '[mode]=%s\r\n[archive]="%s/\r\n%s\r\n[dir_file]="%s"\r\n[shut_flg]=0\r\n' \
    "$mode" "$dest" "$base" "$source" >"$job/jobconf.ini"
}

# The code of the run log's last end line.
end_code() {
  sed -n 's/^\[[0-9/ :]*\]=圧縮処理終了=\([0-9a-f]\{4\}\)\r\{0,1\}$/\1/p' "$1/logdata.txt" | tail -1
}
