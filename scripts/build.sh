#!/usr/bin/env bash
# Configures and builds one build tree from a preset of CMakePresets.json.
#   scripts/build.sh [--sanitize|--tsan|--fuzz|--release] [--dir DIR] [extra cmake -D options...]
# The default tree is build/ (preset dev); --sanitize uses build-asan/
# (asan-ubsan), --tsan build-tsan/ (tsan: only the tests labelled "threads"),
# --fuzz build-fuzz/ (fuzz, clang), --release build-release/ (release).
# CORVANE_WERROR=1 in the environment turns warnings into errors; a
# CMAKE_CXX_COMPILER_LAUNCHER (e.g. ccache) in the environment is used.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir=""
preset=dev
args=()
while (($#)); do
  case "$1" in
    --sanitize) preset=asan-ubsan ;;
    --tsan) preset=tsan ;;
    --fuzz) preset=fuzz ;;
    --release) preset=release ;;
    --dir) dir="$2"; shift ;;
    *) args+=("$1") ;;
  esac
  shift
done
cd "$root"
if [[ -n "$dir" ]]; then
  cmake --preset "$preset" -B "$dir" "${args[@]}" >/dev/null
  targets=()
  [[ "$preset" == tsan ]] && targets=(--target corvane_threads_tests)
  cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
else
  cmake --preset "$preset" "${args[@]}" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
fi
