#!/usr/bin/env bash
# The whole test run from a fresh Debian 12 machine: installs what is
# missing, builds, and runs every test through ctest.
#   scripts/test.sh [--sanitize|--tsan] [ctest arguments...]
# --sanitize: the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/); --tsan: the tests labelled
# "threads" under ThreadSanitizer (build-tsan/).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
preset=dev
build_args=()
case "${1:-}" in
  --sanitize) preset=asan-ubsan; build_args+=(--sanitize); shift ;;
  --tsan) preset=tsan; build_args+=(--tsan); shift ;;
esac
"$root/scripts/build.sh" "${build_args[@]}"
cd "$root"
run=()
if [[ "$preset" == tsan ]]; then
  # ThreadSanitizer's fixed shadow layout clashes with the wide address
  # randomisation of recent kernels (vm.mmap_rnd_bits > 28: "unexpected
  # memory mapping"), so the run goes without randomisation where the
  # machine allows it; the test programs and the programs they start
  # inherit the setting.
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    run=(setarch "$(uname -m)" -R)
  fi
fi
"${run[@]}" ctest --preset "$preset" -j "$(nproc)" "$@"
