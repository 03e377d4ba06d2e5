#!/usr/bin/env bash
# Runs korv_adapter_test.exe (adapter_test.cpp, win64 preset) under Debian's wine64 in a fresh prefix.
#   tests/windows/run_adapter_test.sh [ADAPTER_TEST_EXE]
set -euo pipefail
cd "$(dirname "$0")/../.."
exe=${1:-build/win64/korv_adapter_test.exe} wine=/usr/lib/wine/wine64
[[ -x $wine ]] || { echo "adapter test: SKIPPED (wine64 is not installed)"; exit 0; }
work=$(mktemp -d) && export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" && unset DISPLAY
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT  # ends every process of the prefix
"$wine" wineboot -i >"$work/wineboot.log" 2>&1 && /usr/lib/wine/wineserver -w || { cat "$work/wineboot.log" >&2; exit 1; }
cp "$exe" "$WINEPREFIX/drive_c/korv_adapter_test.exe"
timeout 300 "$wine" 'C:\korv_adapter_test.exe' && echo "adapter test: passed" || { echo "adapter test: FAILED"; exit 1; }
