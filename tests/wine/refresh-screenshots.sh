#!/usr/bin/env bash
# Copies the README's pictures from the artifacts of the last Wine test run
# (tests/wine/artifacts/<scenario>/) into docs/screenshots/. A test run only
# writes artifacts; refreshing the committed pictures is this separate step:
#
#   tests/wine/run.sh installer-no-printer installer-progress installer-144dpi \
#     window-install handoff uninstall-remove uninstall-finish languages
#   tests/wine/refresh-screenshots.sh
#
# Stops without copying anything when a picture is missing, so the README
# never shows pictures of two different runs side by side unknowingly.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
ART=$ROOT/tests/wine/artifacts
SHOTS=$ROOT/docs/screenshots

# <scenario>/<artifact> <name in docs/screenshots>
PICTURES="
installer-no-printer/installer-no-printer installer-no-printer
installer-progress/installer-progress-40 installer-progress-40
installer-progress/installer-progress-100 installer-progress-100
installer-144dpi/installer-144dpi installer-144dpi
window-install/installer-installed installer-installed
handoff/uninstall-list uninstall-list
uninstall-remove/uninstall-failed-message uninstall-failed-message
uninstall-remove/uninstall-after uninstall-after
uninstall-finish/uninstall-finished uninstall-finished
languages/installer-en installer-en
languages/installer-de installer-de
languages/installer-es installer-es
languages/installer-fr installer-fr
languages/installer-it installer-it
languages/installer-ar installer-ar
languages/installer-zh-Hans installer-zh-Hans
languages/uninstall-en uninstall-en
languages/uninstall-de uninstall-de
languages/uninstall-ar uninstall-ar
languages/uninstall-ar-failed-message uninstall-ar-failed-message
languages/uninstall-zh-Hans uninstall-zh-Hans
"

missing=0
while read -r from to; do
  [[ -z "$from" ]] && continue
  if [[ ! -f "$ART/$from.png" ]]; then
    echo "missing: tests/wine/artifacts/$from.png (run its scenario first)" >&2
    missing=1
  fi
done <<<"$PICTURES"
((missing == 0)) || exit 1

mkdir -p "$SHOTS"
while read -r from to; do
  [[ -z "$from" ]] && continue
  cp "$ART/$from.png" "$SHOTS/$to.png"
  echo "docs/screenshots/$to.png"
done <<<"$PICTURES"
