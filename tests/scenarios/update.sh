#!/usr/bin/env bash
# Rewrites tests/scenarios/expected/*.out from the current korvsim, after an
# intended change of behaviour. Usage: tests/scenarios/update.sh [BUILD_DIR]
# (default build/linux). Review the diff before committing it.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/linux}"
korvsim="$build/tools/korvsim/korvsim"
[[ -x "$korvsim" ]] || { echo "update.sh: build korvsim first ($korvsim)" >&2; exit 1; }
for scenario in examples/*.json tests/scenarios/*.json; do
  name="$(basename "$scenario" .json)"
  cmake -DKORVSIM="$korvsim" -DSCENARIO="$scenario" -DEXPECTED="tests/scenarios/expected/$name.out" \
        -DUPDATE=1 -P tests/scenarios/run_scenario.cmake
  echo "updated tests/scenarios/expected/$name.out"
done
