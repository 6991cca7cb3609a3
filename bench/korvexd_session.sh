# Sourced by the benchmark scripts: starts korvexd on a free port over
# $work/data (with the demo accounts), points korvex at it with a private
# KORVEX_HOME and no proxy, and logs alice in. Needs $korvex, $korvexd and
# $work; sets $server (korvexd's pid) and $url.
start_korvexd_logged_in() {
  export KORVEX_HOME=$work/home
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
  "$korvexd" --data-dir "$work/data" --port 0 --seed-demo > "$work/korvexd.out" 2>/dev/null &
  server=$!
  for _ in $(seq 100); do grep -q listening "$work/korvexd.out" 2>/dev/null && break; sleep 0.1; done
  url=$(sed -n 's/^listening on //p' "$work/korvexd.out")
  export KORVEX_WEB_URL=$url KORVEX_API_URL=$url KORVEX_DATA_URL=$url
  echo alice-demo-1 | "$korvex" login alice --domain demo --password-stdin > /dev/null
}
