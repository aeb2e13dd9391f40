#!/usr/bin/env bash
# Times `corvane-cli fetch` against curl in the same run, on loopback, from
# one nginx serving the same files over plain HTTP and over TLS (a CA and a
# server certificate made here with openssl, trusted by both clients through
# --cacert):
#  1. 64 MiB over TLS:   fetch -o /dev/null      vs curl -s -o /dev/null
#  2. 512 MiB plain:     the same, with the peak memory of each
#  3. 512 MiB plain into a pipe: fetch | cat >/dev/null  vs  curl -s | cat >/dev/null
# Each line gives the median wall times, the ratio and its target (at most
# 1.2x curl's time; for 2., a peak under 16 MiB).
#   scripts/bench_fetch.sh [--dir BUILD_DIR] [--runs N]   (default 5 runs)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build"
runs=5
while (($#)); do
  case "$1" in
    --dir) dir="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    *) echo "usage: $0 [--dir BUILD_DIR] [--runs N]" >&2; exit 2 ;;
  esac
  shift
done
if [[ ! -x "$dir/cli/corvane-cli" ]]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$dir" --target corvane-cli >/dev/null
cli="$dir/cli/corvane-cli"

work="$(mktemp -d /tmp/corvane-bench-fetch-XXXXXX)"
nginx_pid=""
cleanup() {
  [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# --- a CA and a certificate for localhost ---
(
  cd "$work"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
    -subj "/CN=Bench CA" -keyout ca.key -out ca.pem 2>/dev/null
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
    -subj "/CN=localhost" -keyout server.key -out server.csr 2>/dev/null
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' > ext.cnf
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile ext.cnf -out server.pem 2>/dev/null
)

# --- the files and nginx ---
mkdir -p "$work/www" "$work/tmp"
head -c $((64 << 20)) /dev/urandom > "$work/www/64m.bin"
head -c $((512 << 20)) /dev/urandom > "$work/www/512m.bin"
plain_port="$(free_port)"
tls_port="$(free_port)"
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
  server { listen 127.0.0.1:$plain_port; root $work/www; }
  server {
    listen 127.0.0.1:$tls_port ssl;
    ssl_certificate $work/server.pem;
    ssl_certificate_key $work/server.key;
    ssl_protocols TLSv1.2 TLSv1.3;
    root $work/www;
  }
}
CONF
/usr/sbin/nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
tls_url="https://localhost:$tls_port/64m.bin"
plain_url="http://127.0.0.1:$plain_port/512m.bin"
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$plain_port/64m.bin" && break; sleep 0.1; done

# Both clients must deliver the same bytes before their times mean anything.
"$cli" fetch --cacert "$work/ca.pem" "$tls_url" | cmp - "$work/www/64m.bin"
"$cli" fetch "$plain_url" | cmp - "$work/www/512m.bin"

median() {  # the median wall time of one shell command line, in seconds
  hyperfine -N -w 1 -r "$runs" --export-json "$work/h.json" -- "$1" >/dev/null 2>&1 ||
    hyperfine -w 1 -r "$runs" --export-json "$work/h.json" -- "$1" >/dev/null
  python3 -c 'import json,sys; print("%.4f" % json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json"
}
median_shell() {  # as median, for a command line with a pipe
  hyperfine -w 1 -r "$runs" --export-json "$work/h.json" -- "$1" >/dev/null
  python3 -c 'import json,sys; print("%.4f" % json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json"
}
peak_kib() {  # the peak resident memory of a command, in KiB
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", (b>0?a/b:0)}'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN{print (r<=t ? "ok" : "OVER")}'; }

q() { printf '%q ' "$@"; }

# 1. 64 MiB over TLS
a="$(median "$(q "$cli" fetch --cacert "$work/ca.pem" -o /dev/null "$tls_url")")"
b="$(median "$(q curl -s --cacert "$work/ca.pem" -o /dev/null "$tls_url")")"
r="$(ratio "$a" "$b")"
echo "64 MiB over TLS:        corvane-cli ${a}s, curl ${b}s, ratio $r (target <= 1.2: $(verdict "$r" 1.2))"

# 2. 512 MiB plain, with peak memory
a="$(median "$(q "$cli" fetch -o /dev/null "$plain_url")")"
b="$(median "$(q curl -s -o /dev/null "$plain_url")")"
r="$(ratio "$a" "$b")"
pa="$(peak_kib "$cli" fetch -o /dev/null "$plain_url")"
pb="$(peak_kib curl -s -o /dev/null "$plain_url")"
mem_ok="$( ((pa < 16384)) && echo ok || echo OVER)"
echo "512 MiB plain:          corvane-cli ${a}s, curl ${b}s, ratio $r (target <= 1.2: $(verdict "$r" 1.2));" \
     "peak corvane-cli ${pa} KiB (target < 16384: $mem_ok), curl ${pb} KiB"

# 3. 512 MiB plain into a pipe
a="$(median_shell "$(q "$cli" fetch "$plain_url") | cat >/dev/null")"
b="$(median_shell "$(q curl -s "$plain_url") | cat >/dev/null")"
r="$(ratio "$a" "$b")"
echo "512 MiB plain via cat:  corvane-cli ${a}s, curl ${b}s, ratio $r (target <= 1.2: $(verdict "$r" 1.2))"
