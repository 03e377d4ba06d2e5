#!/bin/sh
# Builds the libFuzzer targets with clang in build/fuzz and runs each one for
# a bounded time over a copy of its seed corpus (fuzz/corpus/<name>/).
#
#   fuzz/run_fuzzers.sh [target...]
#
# Environment: KORV_FUZZ_SECONDS (default 20) per target, KORV_FUZZ_BUILD
# (default build/fuzz). Prints the inputs each target tried and a total;
# exits non-zero when a target crashed, failed one of its checks, leaked, ran
# out of memory or could not be built. The input that did it is kept in
# build/fuzz/run/ and named in the output; reproduce with
#   build/fuzz/fuzz/fuzz_<name> <that file>
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORV_FUZZ_BUILD:-$root/build/fuzz}
seconds=${KORV_FUZZ_SECONDS:-20}
targets=${*:-"format cmdline discovery findmodel driverver scenario"}

CC=clang CXX=clang++ cmake --preset linux -B "$build" -DKORV_FUZZ=ON -DKORV_SANITIZERS=OFF >/dev/null

# make rebuilds by modification time: a source whose content changed without
# a newer time (a sync that keeps times) would leave stale objects. The
# hashes of the last build catch that, and the whole tree is rebuilt.
sums=$build/fuzz-sources.sha1
stamp=$build/fuzz-build.stamp
(cd "$root" && find app common discovery install uninstall system platform tools/korvsim fuzz \
    -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.def' -o -name '*.txt' \) 2>/dev/null |
  xargs sha1sum | LC_ALL=C sort) >"$sums.new"
if [ ! -f "$sums" ] || [ ! -f "$stamp" ]; then
  # Nothing known about what the objects there were built from.
  cmake --build "$build" --target clean >/dev/null
else
  changed=$(LC_ALL=C comm -13 "$sums" "$sums.new" | sed 's/^[0-9a-f]*  //')
  for file in $changed; do
    if [ ! "$root/$file" -nt "$stamp" ]; then
      echo "fuzz: $file changed without a newer time; rebuilding everything"
      cmake --build "$build" --target clean >/dev/null
      break
    fi
  done
fi

cmake --build "$build" -j2 --target korv_fuzz_all >"$build/fuzz-build.log" 2>&1 || {
  tail -n 40 "$build/fuzz-build.log"
  echo "fuzz: build failed (log: $build/fuzz-build.log)"
  exit 2
}

mv "$sums.new" "$sums"
touch "$stamp"

run=$build/run
rm -rf "$run"
mkdir -p "$run"

failed=0
total=0
ran=0
for name in $targets; do
  binary=$build/fuzz/fuzz_$name
  if [ ! -x "$binary" ]; then
    printf '%-10s skipped (not built in this tree)\n' "$name"
    continue
  fi
  corpus=$run/$name
  mkdir -p "$corpus"
  if [ -d "$root/fuzz/corpus/$name" ]; then
    cp "$root/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
  fi
  set -- -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$run/$name-"
  if [ -f "$root/fuzz/$name.dict" ]; then
    set -- "$@" -dict="$root/fuzz/$name.dict"
  fi
  log=$run/$name.log
  status=0
  "$binary" "$@" "$corpus" >"$log" 2>&1 || status=$?

  inputs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
  if [ -z "$inputs" ]; then
    inputs=$(sed -n 's/^#\([0-9]*\)[[:space:]]*DONE.*/\1/p' "$log" | tail -n 1)
  fi
  if [ -z "$inputs" ]; then
    inputs=$(sed -n 's/^#\([0-9]*\)[[:space:]].*/\1/p' "$log" | tail -n 1)
  fi
  inputs=${inputs:-0}
  total=$((total + inputs))
  ran=$((ran + 1))

  if [ "$status" -ne 0 ]; then
    failed=1
    printf '%-10s %10s inputs  FAILED (exit %s)\n' "$name" "$inputs" "$status"
    grep -E 'check failed|ERROR: |SUMMARY|^  ' "$log" | head -n 12 | sed 's/^/    /'
    for artifact in "$run/$name"-*; do
      [ -f "$artifact" ] && echo "    input: $artifact"
    done
    echo "    log:   $log"
  else
    printf '%-10s %10s inputs  ok\n' "$name" "$inputs"
  fi
done

printf '%-10s %10s inputs  in %s targets, %ss each\n' "total" "$total" "$ran" "$seconds"
exit "$failed"
