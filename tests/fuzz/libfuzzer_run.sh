#!/usr/bin/env bash
# The README's fuzz build, made and run for a short bounded time: both
# targets configured with clang and libFuzzer (sanitizers on everything),
# built, and each run from the corpus for a fixed number of inputs.
#   libfuzzer_run.sh SOURCE-DIR BUILD-DIR CORPUS-DIR
# Exit 77 (skipped) when clang or its fuzzer runtime is not installed.
set -euo pipefail
src=$1 build=$2 corpus=$3
if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
  echo "clang is not installed (scripts/packages.txt lists it): skipped"; exit 77
fi
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DZUBETO_FUZZ=ON -DZUBETO_BUILD_TESTS=OFF -DZUBETO_BUILD_SETTINGS=OFF "${launcher[@]}" >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -t command_fuzz job_fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in command job; do
  mkdir -p "$work/$t"
  cp "$corpus/$t"/* "$work/$t/"
  (cd "$work" && "$build/bin/${t}_fuzz" -runs=20000 -max_total_time=60 -rss_limit_mb=1024 -seed=1 "$work/$t")
done
echo "both fuzz targets built and ran"
