#!/usr/bin/env bash
# Sets up, builds all three presets and runs every test: unit tests (plain
# and under ASan+UBSan), scenario tests, the Windows executable checks, the
# bounded fuzz runs and the Wine integration tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --all

werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON

echo "== linux: build"
cmake --preset linux -DKORV_WERROR=$werror -DKORV_SANITIZERS=ON >/dev/null
cmake --build --preset linux
echo "== linux: tests"
ctest --preset linux

for preset in win32 win64; do
  echo "== $preset: build"
  cmake --preset $preset -DKORV_WERROR=$werror >/dev/null
  cmake --build --preset $preset
done

if [[ -x tests/windows/check_executables.sh ]]; then
  echo "== windows executables"
  tests/windows/check_executables.sh build/win32/korvsetup.exe build/win64/korvsetup.exe
fi
echo "== resources of the built executables"
ctest --preset linux -R exe_resources

if [[ -x tests/windows/run_adapter_test.sh ]]; then
  echo "== win32 adapters under wine64"
  tests/windows/run_adapter_test.sh
fi
if [[ -x fuzz/run_fuzzers.sh ]]; then
  echo "== fuzzing (bounded)"
  fuzz/run_fuzzers.sh
fi
if [[ -x tests/wine/run.sh ]]; then
  echo "== wine integration"
  tests/wine/run.sh
fi
echo "test-all: every stage passed"
