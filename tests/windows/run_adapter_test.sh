#!/usr/bin/env bash
# Runs the adapter test (tests/windows/adapter_test.cpp, built by the win64
# preset as korv_adapter_test.exe) under Wine, in a fresh prefix of its own.
#
#   tests/windows/run_adapter_test.sh [ADAPTER_TEST_EXE]
#
# default: build/win64/korv_adapter_test.exe. Needs Debian's wine64; without
# it the test is reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/../.."

exe=${1:-build/win64/korv_adapter_test.exe}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
if [[ ! -x $wine ]]; then
  echo "adapter test: SKIPPED (wine64 is not installed)"
  exit 0
fi
if [[ ! -f $exe ]]; then
  echo "adapter test: $exe is missing (build the win64 preset first)" >&2
  exit 1
fi

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
cleanup() {
  # Ends the wineserver of this prefix and with it every process of the test.
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$wine" wineboot -i >"$work/wineboot.log" 2>&1 || {
  echo "adapter test: could not make a Wine prefix" >&2
  cat "$work/wineboot.log" >&2
  exit 1
}
"$wineserver" -w
cp "$exe" "$WINEPREFIX/drive_c/korv_adapter_test.exe"
status=0
timeout 300 "$wine" 'C:\korv_adapter_test.exe' || status=$?
if ((status != 0)); then
  echo "adapter test: FAILED (exit code $status)"
  exit 1
fi
echo "adapter test: passed"
