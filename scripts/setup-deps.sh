#!/usr/bin/env bash
# Installs the Debian packages Kalvort builds with, only those that are missing.
# Usage: scripts/setup-deps.sh [EXTRA-PACKAGE...]
set -euo pipefail

packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev zlib1g-dev libudev-dev
          libsimpleini-dev libbenchmark-dev qt6-base-dev qt6-translations-l10n xvfb imagemagick xdotool "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
