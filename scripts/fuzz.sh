#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a while.
#   scripts/fuzz.sh [seconds per target, default 20] [target name...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
secs="${1:-20}"
shift || true
"$root/scripts/setup.sh"
"$root/scripts/build.sh" --fuzz
out="$root/build-fuzz/fuzz"
targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in "$out"/fuzz_*; do
    [[ -x "$f" && -f "$f" ]] && targets+=("$(basename "$f")")
  done
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
for t in "${targets[@]}"; do
  corpus="$root/build-fuzz/corpus/$t"
  mkdir -p "$corpus"
  seeds=()
  [[ -d "$root/fuzz/corpus/$t" ]] && seeds+=("$root/fuzz/corpus/$t")
  echo "fuzz: $t for ${secs}s" >&2
  "$out/$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
  status=${PIPESTATUS[0]}
  if ((status != 0)); then
    echo "fuzz: $t failed with status $status" >&2
    exit 1
  fi
done
