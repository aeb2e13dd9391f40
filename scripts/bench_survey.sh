#!/usr/bin/env bash
# Times a 30-result keyword survey of corvane-cli against corvane-demo-web
# with 50 ms of latency per answer, every page through the demo web as the
# HTTP proxy:
#   --jobs 1 (the serial road), the defaults (--jobs 8 --per-host 2) and
#   --jobs 32 --per-host 32, against curl --parallel --parallel-max 32
#   fetching the same 91 URLs through the same proxy, in the same run.
# Median wall time and peak resident memory of each.
#   scripts/bench_survey.sh [--dir BUILD_DIR] [--runs N] [--latency-ms N]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build"
runs=10
latency=50
while (($#)); do
  case "$1" in
    --dir) dir="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --latency-ms) latency="$2"; shift ;;
    *) echo "usage: $0 [--dir BUILD_DIR] [--runs N] [--latency-ms N]" >&2; exit 2 ;;
  esac
  shift
done
if [[ ! -x "$dir/cli/corvane-cli" || ! -x "$dir/demo/corvane-demo-web" ]]; then
  cmake -S "$root" -B "$dir" -G Ninja >/dev/null
  cmake --build "$dir" --target corvane-cli corvane-demo-web >/dev/null
fi
cli="$dir/cli/corvane-cli"
demo="$dir/demo/corvane-demo-web"
keyword="mountain bikes"

work="$(mktemp -d /tmp/corvane-bench-XXXXXX)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_demo() {  # $1 latency, $2 log file; prints HOST:PORT
  "$demo" --latency-ms "$1" > "$2" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q listening "$2" 2>/dev/null && break
    sleep 0.05
  done
  grep -o '127\.0\.0\.1:[0-9]*' "$2" | head -1
}

proxy="$(start_demo "$latency" "$work/demo.log")"
quick="$(start_demo 0 "$work/quick.log")"

# The URLs the survey fetches, in the serial road's order: a small recording
# proxy in front of a demo web without latency logs each request target.
cat > "$work/record.py" <<'PY'
import http.server, sys, urllib.request
upstream, log = sys.argv[1], open(sys.argv[2], "w")
opener = urllib.request.build_opener(urllib.request.ProxyHandler({"http": "http://" + upstream}))
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        log.write(self.path + "\n"); log.flush()
        try:
            body = opener.open(self.path).read()
            code = 200
        except urllib.error.HTTPError as e:
            body, code = e.read(), e.code
        self.send_response(code)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
python3 "$work/record.py" "$quick" "$work/urls.txt" > "$work/record.port" &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/record.port" ]] && break; sleep 0.05; done
"$cli" survey --no-history --jobs 1 --proxy "127.0.0.1:$(cat "$work/record.port")" \
  --keyword "$keyword" --results 30 > /dev/null 2>&1
urls=$(wc -l < "$work/urls.txt")

curl_args=(--silent --parallel --parallel-max 32 --proxy "$proxy")
while read -r u; do curl_args+=(-o /dev/null "$u"); done < "$work/urls.txt"

measure() {  # prints "median_seconds peak_kib" of "$@"
  hyperfine -N -w 1 -r "$runs" --export-json "$work/h.json" -- "$(printf '%q ' "$@")" > /dev/null
  local median peak
  median="$(python3 -c 'import json,sys; print("%.3f" % json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json")"
  /usr/bin/time -f "%M" -o "$work/t" "$@" > /dev/null 2>&1
  peak="$(cat "$work/t")"
  echo "$median $peak"
}
survey=("$cli" survey --no-history --proxy "$proxy" --keyword "$keyword" --results 30)

# Every road prints the same table.
for j in "--jobs 1" "" "--jobs 32 --per-host 32"; do
  # shellcheck disable=SC2086
  "${survey[@]}" $j 2>/dev/null | md5sum
done | uniq | (($(wc -l) == 1)) || { echo "the tables differ between the jobs" >&2; exit 1; }

echo "30-result survey, ${latency} ms latency per answer, $urls URLs, median of $runs runs"
read -r s1 m1 < <(measure "${survey[@]}" --jobs 1)
read -r s8 m8 < <(measure "${survey[@]}")
read -r s32 m32 < <(measure "${survey[@]}" --jobs 32 --per-host 32)
read -r sc mc < <(measure curl "${curl_args[@]}")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", (b>0?a/b:0)}'; }
printf '%-34s %8ss  %7s KiB  %6sx curl\n' "--jobs 1 (serial)" "$s1" "$m1" "$(ratio "$s1" "$sc")"
printf '%-34s %8ss  %7s KiB  %6sx curl\n' "defaults (--jobs 8 --per-host 2)" "$s8" "$m8" "$(ratio "$s8" "$sc")"
printf '%-34s %8ss  %7s KiB  %6sx curl\n' "--jobs 32 --per-host 32" "$s32" "$m32" "$(ratio "$s32" "$sc")"
printf '%-34s %8ss  %7s KiB\n' "curl --parallel --parallel-max 32" "$sc" "$mc"
