#!/usr/bin/env bash
# Runs the packaged desktop client in a real X server (Xvfb) the way a user
# would: korvexd with the demo data, korvexdata from the unpacked .deb with
# a private home, the login typed into the dialog with simulated keys, an
# upload started from the local pane, the same upload again answered in the
# name-conflict dialog, and a slow listing given up in the waiting window;
# screenshots of the whole screen are saved as build/screenshots/window-views.png
# (the "My Cloud" top with its views), window-upload.png, window-conflict.png
# and window-wait.png; then the share dialog opened from the menu bar
# (window-share.png), the main window alone with a full transfer list
# (window-main.png), and a second client logged in as bob with the folder
# alice shares with him under "Share for Me" (window-shared.png).
# Every step is bounded and says which one failed.
#   scripts/check-window.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shots="$build/screenshots"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvex-window-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "check-window: $*" >&2
  if [ -n "${DISPLAY:-}" ] && mkdir -p "$shots" && import -window root "$shots/window-failed.png" 2>/dev/null; then
    echo "check-window: the screen at the failure: $shots/window-failed.png" >&2
  fi
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# Prints the id of the visible window whose title matches $1, waiting up to
# 30 s. Searched afresh each time: a search that meets a window closing
# under it fails (BadWindow), which is no answer.
find_window() {
  local id
  for _ in $(seq 150); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

KORVEX_PACKAGE_ROOT="$work/root" bash scripts/check-package.sh "$build" >/dev/null || fail "the package check failed"
bin="$work/root/usr/bin"

# The service, on a free loopback port.
"$bin/korvexd" --data-dir "$work/service" --host 127.0.0.1 --port 0 --seed-demo \
  >"$work/korvexd.out" 2>"$work/korvexd.log" </dev/null &
pids+=($!)
wait_for 100 grep -q '^listening on ' "$work/korvexd.out" || fail "korvexd did not start"
base=$(sed -n 's/^listening on //p' "$work/korvexd.out" | head -1)

# A display of our own: the first free number from 91 on.
display=91
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1600x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
wait_for 100 xdotool getdisplaygeometry || fail "Xvfb did not start on $DISPLAY"

# A private user: settings, saved accounts and a file to upload.
export KORVEX_HOME="$work/home" HOME="$work/user"
export KORVEX_WEB_URL="$base" KORVEX_API_URL="$base" KORVEX_DATA_URL="$base"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
mkdir -p "$HOME"
head -c $((6 << 20)) /dev/urandom >"$HOME/upload-me.bin"
# Slow block writes keep the upload on screen long enough to be seen.
curl -sf -X POST --data "delay=200,path=^/idtv1/stream/|^/file/uploadblock/,count=100000,ttl=600" \
  "$base/admin/faults" >/dev/null || fail "korvexd refused the slow-write fault"

# alice shares "Projects" with bob from the command line, as a colleague
# would have done before; the window shows it marked, bob's shows it shared.
echo alice-demo-1 | KORVEX_HOME="$work/cli-home" "$bin/korvex" login alice --domain demo --password-stdin \
  >"$work/korvex.log" 2>&1 || fail "korvex could not log alice in"
KORVEX_HOME="$work/cli-home" "$bin/korvex" share /Projects bob --rights updown >>"$work/korvex.log" 2>&1 ||
  fail "korvex could not share /Projects with bob"

QT_QPA_PLATFORM=xcb "$bin/korvexdata" >"$work/korvexdata.log" 2>&1 </dev/null &
pids+=($!)
client=$!

# Types the login of $1 (password $2) into the login dialog.
log_in() {
  local login
  login=$(find_window '^KorvexData SMB - Login$') || fail "the login dialog did not appear"
  xdotool windowactivate --sync "$login" 2>/dev/null || xdotool windowfocus --sync "$login"
  sleep 1
  xdotool type --delay 40 "$1"
  xdotool key Tab
  xdotool type --delay 40 "$2"
  xdotool key Tab
  xdotool type --delay 40 'demo'
  xdotool key Return
}

log_in alice alice-demo-1
main=$(find_window '^KorvexData SMB - alice') ||
  fail "the main window did not appear after the login"
kill -0 "$client" 2>/dev/null || fail "korvexdata ended"
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
sleep 1

# Above the own disk: "My Cloud" with the views (Backspace goes up), then
# back into "My Disk" by its typed name.
xdotool key ctrl+1
sleep 0.3
xdotool key BackSpace
sleep 1.5
mkdir -p "$shots"
import -window root "$shots/window-views.png" || fail "the screenshot could not be taken"
echo "check-window: screenshot $shots/window-views.png"
xdotool type --delay 60 'My Disk'
xdotool key Return
sleep 1.5

# The local pane's list takes the focus (Ctrl+2), the typed name selects
# the file and Ctrl+U uploads it into the cloud folder on show.
xdotool key ctrl+2
sleep 0.3
xdotool type --delay 60 'upload-me'
xdotool key ctrl+u
# The row shows up in the transfer list once the family is queued; give it
# time to paint and to move some blocks.
sleep 4
mkdir -p "$shots"
import -window root "$shots/window-upload.png" || fail "the screenshot could not be taken"
echo "check-window: screenshot $shots/window-upload.png"

# The upload must really arrive once the service is fast again.
curl -sf -X POST "$base/admin/faults/clear" >/dev/null || true
arrived() { curl -sf "$base/admin/tree/alice" | grep -q '"upload-me.bin"'; }
wait_for 600 arrived || fail "the upload started from the window did not reach the service"
echo "check-window: login, main window and upload ok"

# The same file again: its name is taken now, and the window asks.
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key ctrl+2
sleep 0.3
xdotool type --delay 60 'upload-me'
xdotool key ctrl+u
conflict=$(find_window '^Name Conflict$') || fail "uploading onto an existing name did not ask"
sleep 0.5
import -window root "$shots/window-conflict.png" || fail "the screenshot could not be taken"
echo "check-window: screenshot $shots/window-conflict.png"
# Enter is Keep Both: the service keeps its file and takes the new one beside it.
xdotool windowactivate --sync "$conflict" 2>/dev/null || xdotool windowfocus --sync "$conflict"
xdotool key Return
kept() { curl -sf "$base/admin/tree/alice" | grep -q '"upload-me (2).bin"'; }
wait_for 300 kept || fail "Keep Both did not store the file as \"upload-me (2).bin\""
echo "check-window: conflict dialog ok"

# A slow listing: the busy cursor at once, then a small progress with Cancel.
curl -sf -X POST --data "delay=4000,path=^/directory/listandcount/,count=1,ttl=60" \
  "$base/admin/faults" >/dev/null || fail "korvexd refused the slow-listing fault"
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key ctrl+1
sleep 0.3
xdotool key F5
waiting=$(find_window '^Please wait$') || fail "a slow listing showed no progress"
sleep 0.3
import -window root "$shots/window-wait.png" || fail "the screenshot could not be taken"
echo "check-window: screenshot $shots/window-wait.png"
xdotool windowactivate --sync "$waiting" 2>/dev/null || xdotool windowfocus --sync "$waiting"
xdotool key Escape
gone() { ! xdotool search --onlyvisible --name '^Please wait$' >/dev/null 2>&1; }
wait_for 20 gone || fail "Cancel did not end the wait within two seconds"
kill -0 "$client" 2>/dev/null || fail "korvexdata ended"
echo "check-window: waiting window ok"

# Sharing from the menu bar: the cloud pane's list takes the focus (Ctrl+1),
# the typed name selects "Projects", and Share > Share Folder... (Alt+S, S)
# opens the dialog with the contacts and the folder's shares.
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key ctrl+1
sleep 0.3
xdotool type --delay 60 'Projects'
sleep 0.3
xdotool key alt+s
sleep 0.5
xdotool key s
share=$(find_window '^Share Folder - Projects$') || fail "the share dialog did not open from the Share menu"
sleep 1
import -window root "$shots/window-share.png" || fail "the screenshot could not be taken"
echo "check-window: screenshot $shots/window-share.png"
xdotool windowactivate --sync "$share" 2>/dev/null || true
xdotool key Escape
sleep 0.5
echo "check-window: share dialog ok"

# A full transfer list below the two finished uploads: a name conflict left
# unanswered (it holds no transfer slot), a folder downloaded and four slow
# uploads, as many as run at once.
for n in 1 2 3 4; do head -c $((3 << 20)) /dev/urandom >"$HOME/batch-$n.bin"; done
printf 'my own readme\n' >"$HOME/readme.txt"
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key ctrl+2
sleep 0.3
xdotool key F5
sleep 1
xdotool type --delay 60 'readme'
xdotool key ctrl+u
conflict=$(find_window '^Name Conflict$') || fail "uploading readme.txt onto the service's did not ask"
xdotool windowactivate --sync "$conflict" 2>/dev/null || xdotool windowfocus --sync "$conflict"
xdotool key Escape
sleep 0.5
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key ctrl+1
sleep 0.3
xdotool type --delay 60 'Photos'
xdotool key ctrl+d
sleep 1.5
curl -sf -X POST --data "delay=1500,path=^/idtv1/stream/|^/file/uploadblock/,count=100000,ttl=600" \
  "$base/admin/faults" >/dev/null || fail "korvexd refused the slow-write fault"
xdotool key ctrl+2
sleep 0.3
for n in 1 2 3 4; do
  xdotool type --delay 60 "batch-$n"
  xdotool key ctrl+u
  sleep 1
done
sleep 3
import -window "$main" "$shots/window-main.png" || fail "the screenshot could not be taken"
echo "check-window: screenshot $shots/window-main.png"
curl -sf -X POST "$base/admin/faults/clear" >/dev/null || true
echo "check-window: transfer list ok"

# bob, in a client of his own, finds the folder alice shares with him
# under "Share for Me".
KORVEX_HOME="$work/home-bob" QT_QPA_PLATFORM=xcb "$bin/korvexdata" >"$work/korvexdata-bob.log" 2>&1 </dev/null &
pids+=($!)
log_in bob bob-demo-1
bob=$(find_window '^KorvexData SMB - bob') || fail "bob's main window did not appear after the login"
xdotool windowactivate --sync "$bob" 2>/dev/null || xdotool windowfocus --sync "$bob"
sleep 1
xdotool key ctrl+1
sleep 0.3
xdotool key BackSpace
sleep 1.5
xdotool type --delay 60 'Share for Me'
xdotool key Return
sleep 2
import -window "$bob" "$shots/window-shared.png" || fail "the screenshot could not be taken"
echo "check-window: screenshot $shots/window-shared.png"
echo "check-window: views, sharing and transfer list ok"
