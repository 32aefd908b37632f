#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev file
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl1-mesa-dev
  libcpp-httplib-dev libssl-dev zlib1g-dev libbrotli-dev libsimdjson-dev
  libbenchmark-dev libxlsxwriter-dev clang libclang-rt-14-dev libsystemd-dev lintian
  sqlite3 postgresql curl jq libsqlite3-dev libpq-dev unzip nginx openssl
  libxml2-dev libxmlsec1-dev libxmlsec1-openssl xmlsec1 libxml2-utils python3 poppler-utils
  xvfb xauth fonts-dejavu-core qt6-translations-l10n xdotool ccache
  libcurl4-openssl-dev python3-aiosmtpd
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
