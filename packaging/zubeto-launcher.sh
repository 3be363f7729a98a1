#!/bin/sh
# Starts the settings window in the user's job folder, so the window, the
# nightly timer and the README agree on where the job lives. The folder is
# made on the first start; the window then works in it as in any folder.
set -e
config=${XDG_CONFIG_HOME:-}
case $config in
  /*) ;;
  *) config=$HOME/.config ;;  # unset, empty or relative: the usual default
esac
job=$config/zubeto
[ -d "$job" ] || mkdir -p -m 700 "$job"
cd "$job"
# The window lives with the worker and the libraries in the program folder,
# found from where this command really lies.
here=$(dirname "$(readlink -f "$0")")
exec "$here/../lib/zubeto/ZUBETOB" "$@"
