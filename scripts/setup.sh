#!/usr/bin/env bash
# Installs what the builds and tests need from Debian's packages. Run as root
# (or with sudo); does nothing for packages already present.
set -euo pipefail

packages=(
  cmake make g++ file
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  mingw-w64
  clang libclang-rt-14-dev
)
if [[ "${1:-}" == "--all" ]]; then
  # The Wine integration tests: the x86_64 program under wine64 with Xvfb.
  packages+=(wine64 xvfb xdotool x11-utils jq imagemagick locales fonts-wqy-microhei fonts-dejavu-core)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
