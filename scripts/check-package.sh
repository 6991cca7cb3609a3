#!/usr/bin/env bash
# Makes the Debian package from a finished build and checks what it installs
# by unpacking it into a scratch root (no root rights needed): the files are
# there, the packaged korvex runs its network check against the packaged
# korvexd with the packaged check module, the user unit starts a program
# the package holds, and the desktop entry is valid.
#   scripts/check-package.sh [build-dir]
# With KORVEX_PACKAGE_ROOT set, the package is unpacked there and kept, for
# checks that run the installed programs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvex-package-XXXXXX")
if [ -n "${KORVEX_PACKAGE_ROOT:-}" ]; then
  mkdir -p "$KORVEX_PACKAGE_ROOT"
  root=$(realpath "$KORVEX_PACKAGE_ROOT")
else
  root=$scratch/root
fi
service_pid=
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

rm -f "$build"/korvexdata_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/korvexdata_*.deb)
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the package does not depend on Qt 6 Widgets"
dpkg -x "$deb" "$root"
unit=usr/lib/systemd/user/korvex.service
desktop=usr/share/applications/korvexdata.desktop
for f in usr/bin/korvexdata usr/bin/korvex usr/bin/korvexd usr/lib/korvexdata/libKorvexDiagnosis.so "$desktop" \
         usr/share/icons/hicolor/scalable/apps/korvexdata.svg "$unit"; do
  [ -e "$root/$f" ] || fail "missing from the package: /$f"
done
"$root/usr/bin/korvex" --version >/dev/null || fail "the packaged korvex does not run"

# The unit must start the packaged korvex, and wait for nothing a user
# manager does not have.
exec_start=$(sed -n 's/^ExecStart=//p' "$root/$unit")
program=${exec_start%% *}
case "$program" in /*) ;; *) fail "ExecStart does not name a program by its full path: $exec_start" ;; esac
[ -x "$root$program" ] || fail "ExecStart names $program, which the package does not hold"
if grep -E '^(After|Wants|Requires)=.*network-online\.target' "$root/$unit" >/dev/null; then
  fail "the user unit waits for network-online.target, which a user manager does not have"
fi

command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (scripts/bootstrap-deps.sh installs it)"
desktop-file-validate "$root/$desktop" || fail "the desktop entry is not valid"
desktop_exec=$(sed -n 's/^Exec=//p' "$root/$desktop" | head -1)
desktop_exec=${desktop_exec%% *}
[ -x "$root/usr/bin/$desktop_exec" ] || fail "the desktop entry starts $desktop_exec, which the package does not hold"

# The packaged programs against each other, with a private home and no
# proxy: korvex must find the packaged check module beside itself.
"$root/usr/bin/korvexd" --data-dir "$scratch/service" --host 127.0.0.1 --port 0 \
  >"$scratch/korvexd.out" 2>"$scratch/korvexd.err" </dev/null &
service_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$scratch/korvexd.out" 2>/dev/null && break
  kill -0 "$service_pid" 2>/dev/null || fail "the packaged korvexd did not start: $(cat "$scratch/korvexd.err")"
  sleep 0.1
done
base=$(sed -n 's/^listening on //p' "$scratch/korvexd.out" | head -1)
[ -n "$base" ] || fail "the packaged korvexd printed no listening line"
diagnose() {
  env -u http_proxy -u https_proxy -u HTTP_PROXY -u HTTPS_PROXY -u all_proxy -u ALL_PROXY -u no_proxy -u NO_PROXY \
    KORVEX_HOME="$scratch/home" KORVEX_WEB_URL="$base" KORVEX_API_URL="$base" KORVEX_DATA_URL="$base" \
    timeout 120 "$root/usr/bin/korvex" "$@" diagnose
}
if ! diagnose >"$scratch/diagnose.out" 2>&1 || ! grep -q '^Your connection is OK\.$' "$scratch/diagnose.out"; then
  cat "$scratch/diagnose.out" >&2
  fail "the packaged korvex diagnose did not find the connection OK"
fi
module=$(diagnose --json 2>/dev/null | sed -n 's/.*"module":"\([^"]*\)".*/\1/p')
[ "$module" = "$(realpath "$root/usr/lib/korvexdata/libKorvexDiagnosis.so")" ] ||
  fail "korvex diagnose ran the module ${module:-(none)}, not the packaged one"
echo "packaged korvex diagnose:"
sed 's/^/  /' "$scratch/diagnose.out"
echo "package ok: $(basename "$deb")"
