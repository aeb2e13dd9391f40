#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh [--sanitize|--fuzz] [--dir DIR] [extra cmake -D options...]
# The default tree is build/; --sanitize uses build-asan/, --fuzz build-fuzz/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir=""
kind=default
args=()
while (($#)); do
  case "$1" in
    --sanitize) kind=sanitize ;;
    --fuzz) kind=fuzz ;;
    --dir) dir="$2"; shift ;;
    *) args+=("$1") ;;
  esac
  shift
done
case "$kind" in
  default) dir="${dir:-$root/build}" ;;
  sanitize) dir="${dir:-$root/build-asan}"; args+=(-DCORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCORVANE_BUILD_BENCH=OFF) ;;
  fuzz) dir="${dir:-$root/build-fuzz}"
        args+=(-DCORVANE_FUZZ=ON -DCORVANE_BUILD_UI=OFF -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF
               -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
esac
if [[ -n "${CORVANE_WERROR:-}" ]]; then
  args+=(-DCORVANE_WERROR=ON)
fi
cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
