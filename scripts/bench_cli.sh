#!/usr/bin/env bash
# Times corvane-cli against real peers on loopback:
#  1. `corvane-cli fetch` of a 64 MB static file from nginx, against
#     `curl -s -o /dev/null` of the same URL, wall time and peak memory;
#  2. a 30-result keyword survey on the demo web with 20 ms latency per
#     answer: wall time and request count.
#   scripts/bench_cli.sh [--dir BUILD_DIR] [--runs N]   (default 20 runs)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build"
runs=20
while (($#)); do
  case "$1" in
    --dir) dir="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    *) echo "usage: $0 [--dir BUILD_DIR] [--runs N]" >&2; exit 2 ;;
  esac
  shift
done
"$root/scripts/setup.sh"
(cd "$root" && cmake --preset dev -B "$dir" >/dev/null)
cmake --build "$dir" --target corvane-cli corvane-demo-web >/dev/null
cli="$dir/cli/corvane-cli"
demo="$dir/demo/corvane-demo-web"

work="$(mktemp -d /tmp/corvane-bench-XXXXXX)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# --- 1. fetch of 64 MB from nginx ---
mkdir -p "$work/www" "$work/tmp"
head -c $((64 << 20)) /dev/urandom > "$work/www/big.bin"
port="$(free_port)"
user_line=""
[[ $(id -u) -eq 0 ]] && user_line="user root;"
cat > "$work/nginx.conf" <<CONF
$user_line
daemon off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/tmp; proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp; uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
  sendfile on;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
/usr/sbin/nginx -c "$work/nginx.conf" -p "$work" &
pids+=($!)
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/big.bin" && break; sleep 0.1; done
url="http://127.0.0.1:$port/big.bin"

measure() {  # prints "median_seconds peak_kib" of "$@": hyperfine for the time, time(1) for the memory
  hyperfine -N -w 2 -r "$runs" --export-json "$work/h.json" -- "$(printf '%q ' "$@")" > /dev/null
  local median peak
  median="$(python3 -c 'import json,sys; print("%.4f" % json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json")"
  /usr/bin/time -f "%M" -o "$work/t" "$@" > /dev/null
  peak="$(cat "$work/t")"
  echo "$median $peak"
}
"$cli" fetch "$url" | cmp - "$work/www/big.bin"
read -r cli_s cli_kib < <(measure "$cli" fetch "$url")
read -r curl_s curl_kib < <(measure curl -s -o /dev/null "$url")
body_kib=$((64 << 10))
echo "fetch 64 MiB: corvane-cli ${cli_s}s, peak ${cli_kib} KiB ($(awk -v a="$cli_kib" -v b="$body_kib" 'BEGIN{printf "%.2f", a/b}')x the body);" \
     "curl ${curl_s}s, peak ${curl_kib} KiB; time ratio $(awk -v a="$cli_s" -v b="$curl_s" 'BEGIN{printf "%.2f", (b>0?a/b:0)}')"

# --- 2. a 30-result survey with 20 ms latency ---
"$demo" --latency-ms 20 > "$work/demo.out" &
pids+=($!)
for _ in $(seq 50); do grep -q listening "$work/demo.out" && break; sleep 0.1; done
demo_addr="$(grep -o '127\.0\.0\.1:[0-9]*' "$work/demo.out" | head -1)"
start=$(date +%s.%N)
"$cli" survey --proxy "$demo_addr" --keyword "garden tools" --results 30 > "$work/survey.out" 2> "$work/survey.err"
end=$(date +%s.%N)
requests="$(grep -o '[0-9]* requests' "$work/survey.err" | tail -1)"
echo "survey of 30 results at 20 ms latency: $(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.2f", b-a}')s, $(($(wc -l < "$work/survey.out") - 2)) rows, $requests"
