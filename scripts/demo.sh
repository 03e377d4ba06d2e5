#!/usr/bin/env bash
# The main job: builds the simulator and runs the silent installation of a
# plugged-in printer on the bundled example machine, then the windowed one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux -DKORV_SANITIZERS=OFF >/dev/null
cmake --build --preset linux --target korvsim >/dev/null
for example in examples/silent-install.json examples/window-install.json; do
  [[ -f "$example" ]] || continue
  echo "=== korvsim $example"
  build/linux/tools/korvsim/korvsim "$example"
done
