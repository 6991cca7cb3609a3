#!/usr/bin/env bash
# Runs the client against the embedded local service: builds korvex and
# korvexd, starts korvexd with the demo accounts in a temporary folder on a
# free port, logs in as alice with korvex and, where a display is available
# (DISPLAY or WAYLAND_DISPLAY), opens the desktop client korvexdata logged in
# as alice; without one it shows a short command-line tour. The service keeps
# running afterwards; the script prints how to go on by hand and how to stop
# it.
#   scripts/run-demo.sh                        any free port
#   KORVEX_DEMO_PORT=8790 scripts/run-demo.sh  a fixed port
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap-deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake -S . -B build -G Ninja >/dev/null
display=${DISPLAY:-${WAYLAND_DISPLAY:-}}
targets=(korvex korvexd)
[ -n "$display" ] && targets+=(korvexdata)
cmake --build build --target "${targets[@]}"

demo=$(mktemp -d "${TMPDIR:-/tmp}/korvex-demo-XXXXXX")
bin="$PWD/build/src/cli"
# Settings, saved accounts and the session of the demo stay in its folder.
export KORVEX_HOME="$demo/home"

setsid build/emulator/korvexd --data-dir "$demo/service" --host 127.0.0.1 \
  --port "${KORVEX_DEMO_PORT:-0}" --seed-demo >"$demo/korvexd.out" 2>"$demo/korvexd.err" </dev/null &
pid=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$demo/korvexd.out" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || { echo "korvexd did not start:" >&2; cat "$demo/korvexd.err" >&2; exit 1; }
  sleep 0.1
done
base=$(sed -n 's/^listening on //p' "$demo/korvexd.out" | head -1)
[ -n "$base" ] || { echo "korvexd printed no listening line" >&2; kill "$pid"; exit 1; }
export KORVEX_WEB_URL="$base" KORVEX_API_URL="$base" KORVEX_DATA_URL="$base"

tour() {
  echo
  echo "\$ korvex $*"
  "$bin/korvex" "$@"
}
echo "korvexd is running at $base (pid $pid, data in $demo/service)"
echo
echo "\$ korvex login alice --domain demo --password-stdin --remember-password --auto-login"
# The saved password and the automatic login let korvexdata open logged in.
echo "alice-demo-1" | "$bin/korvex" login alice --domain demo --password-stdin --remember-password --auto-login

if [ -n "$display" ] && [ -x build/src/app/korvexdata ]; then
  setsid build/src/app/korvexdata </dev/null >"$demo/korvexdata.out" 2>&1 &
  cat <<EOF

korvexdata is opening logged in as alice (pid $!). When you have closed it,
stop the service and remove the demo with:
  kill $pid && rm -rf $demo
EOF
  exit 0
fi
tour whoami
tour ls
folder="/Demo-$(date +%H%M%S)"
tour mkdir "$folder"
# A small local tree to upload and fetch back: the client's main job.
mkdir -p "$demo/local/project/notes"
printf 'Quarterly plan\n' >"$demo/local/project/plan.txt"
head -c 300000 /dev/urandom >"$demo/local/project/notes/data.bin"
tour put "$demo/local/project" "$folder"
tour ls "$folder/project"
tour get "$folder/project" "$demo/fetched"
echo
echo "\$ diff -r $demo/local/project $demo/fetched/project"
diff -r "$demo/local/project" "$demo/fetched/project" && echo "(identical)"
tour space
tour ls shares:/

cat <<EOF

To go on by hand, in this shell:
  export KORVEX_HOME=$KORVEX_HOME KORVEX_WEB_URL=$base KORVEX_API_URL=$base KORVEX_DATA_URL=$base
  export PATH="$bin:\$PATH"
then try: korvex ls /Documents, korvex transfers, korvex --help.
With a display, run this script there to have korvexdata open logged in.
To stop the service and remove the demo:
  kill $pid && rm -rf $demo
EOF
