#!/usr/bin/env bash
# Makes the Debian package from a finished build and checks what it installs
# by unpacking it into a scratch root (no root rights needed).
#   scripts/check-package.sh [build-dir]
# With KORVEX_PACKAGE_ROOT set, the package is unpacked there and kept, for
# checks that run the installed programs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ -n "${KORVEX_PACKAGE_ROOT:-}" ]; then
  root=$KORVEX_PACKAGE_ROOT
  mkdir -p "$root"
else
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
fi

rm -f "$build"/korvexdata_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/korvexdata_*.deb)
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "package does not depend on Qt 6 Widgets"; exit 1; }
dpkg -x "$deb" "$root"
for f in usr/bin/korvexdata usr/bin/korvex usr/bin/korvexd usr/share/applications/korvexdata.desktop \
         usr/share/icons/hicolor/scalable/apps/korvexdata.svg usr/lib/systemd/user/korvex.service; do
  [ -e "$root/$f" ] || { echo "missing from the package: /$f"; exit 1; }
done
"$root/usr/bin/korvex" --version >/dev/null
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/korvexdata.desktop"
fi
echo "package ok: $(basename "$deb")"
