#!/usr/bin/env bash
# Runs a command inside a private D-Bus session with an unlocked
# gnome-keyring, in a throw-away home, so that the Secret Service back end of
# the credential store is tested without touching the user's own keyring.
# Exits 77 (skipped) when the packages are missing.
set -euo pipefail

for tool in dbus-run-session gnome-keyring-daemon; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "keyring test skipped: $tool is not installed (packages dbus, gnome-keyring)"
    exit 77
  fi
done

home=$(mktemp -d "${TMPDIR:-/tmp}/korvex-keyring-XXXXXX")
trap 'rm -rf "$home"' EXIT
mkdir -m 0700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
  XDG_RUNTIME_DIR="$home/run" XDG_CACHE_HOME="$home/cache"
unset KORVEX_HOME
export KORVEX_REQUIRE_KEYRING=1

# Inside the session: start the keyring in the foreground (so its process
# id is known and it ends with the command), unlock it with a throw-away
# password, wait a bounded time for it to own its bus name, then run.
exec dbus-run-session -- bash -c '
  printf "korvex-test" | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
  keyring=$!
  trap "kill $keyring 2>/dev/null; wait $keyring 2>/dev/null" EXIT
  for _ in $(seq 1 50); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; then
      "$@"
      exit $?
    fi
    sleep 0.1
  done
  echo "keyring test skipped: gnome-keyring-daemon did not come up"
  exit 77
' run-with-keyring "$@"
