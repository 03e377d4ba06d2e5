#!/usr/bin/env bash
# Runs the adapter test (adapter_test.cpp, built by the win64 preset as
# korv_adapter_test.exe) under Debian's wine64 in a fresh prefix of its own.
#   tests/windows/run_adapter_test.sh [ADAPTER_TEST_EXE]
set -euo pipefail
cd "$(dirname "$0")/../.."
exe=${1:-build/win64/korv_adapter_test.exe} wine=/usr/lib/wine/wine64
[[ -x $wine ]] || { echo "adapter test: SKIPPED (wine64 is not installed)"; exit 0; }
[[ -f $exe ]] || { echo "adapter test: $exe is missing (build the win64 preset)" >&2; exit 1; }
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# Ending this prefix's wineserver ends every process of the test.
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT
"$wine" wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
/usr/lib/wine/wineserver -w
cp "$exe" "$WINEPREFIX/drive_c/korv_adapter_test.exe"
timeout 300 "$wine" 'C:\korv_adapter_test.exe' || { echo "adapter test: FAILED"; exit 1; }
echo "adapter test: passed"
