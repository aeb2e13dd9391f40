#!/usr/bin/env bash
# The whole test run from a fresh Debian 12 machine: installs what is
# missing, builds, and runs every test through ctest.
#   scripts/test.sh [--sanitize] [ctest arguments...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
build_args=()
dir="$root/build"
if [[ "${1:-}" == "--sanitize" ]]; then
  build_args+=(--sanitize)
  dir="$root/build-asan"
  shift
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
fi
"$root/scripts/build.sh" "${build_args[@]}"
cd "$dir"
ctest --output-on-failure -j "$(nproc)" "$@"
