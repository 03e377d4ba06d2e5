#!/usr/bin/env bash
# Copies the README's pictures (docs/screenshots/*.png) from the artifacts of
# the last Wine test run, where the scenarios' "wine"."shots" put them under
# the same names. A test run only writes artifacts; this is the separate step:
#
#   tests/wine/run.sh && tests/wine/refresh-screenshots.sh
#
# Copies nothing when a picture has no artifact, so that the README never
# shows pictures of two runs side by side unknowingly.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT/docs/screenshots"
missing=0
for f in *.png; do ls "$ROOT"/tests/wine/artifacts/*/"$f" >/dev/null 2>&1 || { echo "missing: $f (run its scenario first)" >&2; missing=1; }; done
((missing == 0)) || exit 1
for f in *.png; do cp "$(ls -t "$ROOT"/tests/wine/artifacts/*/"$f" | head -1)" "$f" && echo "docs/screenshots/$f"; done
