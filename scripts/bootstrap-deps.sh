#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and benchmarks
# with. Does nothing (and needs no network) when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  libboost-dev libboost-thread-dev libboost-regex-dev libboost-date-time-dev
  libssl-dev openssl libcurl4-openssl-dev curl libproxy-dev
  libsqlite3-dev nlohmann-json3-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsecret-1-dev gnome-keyring dbus libproxy1-plugin-webkit
  libcli11-dev desktop-file-utils
  libfuse3-dev fuse3
  qt6-base-dev qt6-l10n-tools qt6-translations-l10n fonts-wqy-microhei
  xvfb xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
