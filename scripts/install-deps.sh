#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# Only what is missing is installed; run as root (or with sudo available).
set -euo pipefail
PKGS=(cmake ninja-build g++ pkg-config
      qt6-base-dev libfontconfig-dev pxlib-dev libsqlite3-dev libzip-dev libcurl4-openssl-dev libssl-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      python3-pyftpdlib xvfb xauth
      fonts-nanum fonts-baekmuk qt6-translations-l10n)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
