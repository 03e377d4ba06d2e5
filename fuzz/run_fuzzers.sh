#!/bin/sh
# fuzz/run_fuzzers.sh [target...]: builds the libFuzzer targets with clang in build/fuzz, runs each for
# KORV_FUZZ_SECONDS (default 20) over its seeds, fails on a crash, failed check or leak (input kept in build/fuzz/run/).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORV_FUZZ_BUILD:-$root/build/fuzz}
seconds=${KORV_FUZZ_SECONDS:-20}
targets=${*:-"format cmdline discovery findmodel driverver scenario"}

CC=clang CXX=clang++ cmake --preset linux -B "$build" -DKORV_FUZZ=ON -DKORV_SANITIZERS=OFF >/dev/null
cmake --build "$build" -j2 --target korv_fuzz_all >"$build/fuzz-build.log" 2>&1 ||
  { tail -n 40 "$build/fuzz-build.log"; echo "fuzz: build failed"; exit 2; }
run=$build/run
rm -rf "$run"
failed=0 total=0
for name in $targets; do
  mkdir -p "$run/$name"
  cp "$root/fuzz/corpus/$name"/* "$run/$name"/ 2>/dev/null || true
  dict=$([ -f "$root/fuzz/$name.dict" ] && echo "-dict=$root/fuzz/$name.dict" || true)
  status=0
  "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$run/$name-" $dict "$run/$name" >"$run/$name.log" 2>&1 || status=$?
  inputs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$run/$name.log" | tail -n 1)
  total=$((total + ${inputs:-0}))
  if [ "$status" -ne 0 ]; then
    failed=1
    printf '%-10s %10s inputs  FAILED (exit %s; log %s)\n' "$name" "${inputs:-0}" "$status" "$run/$name.log"
    grep -E 'check failed|ERROR: |SUMMARY|^  ' "$run/$name.log" | head -n 12 | sed 's/^/    /'
    ls "$run/$name"-* 2>/dev/null | sed 's/^/    input: /'
  else
    printf '%-10s %10s inputs  ok\n' "$name" "${inputs:-0}"
  fi
done
printf '%-10s %10s inputs  in %s targets, %ss each\n' total "$total" "$(echo $targets | wc -w)" "$seconds"
exit "$failed"
