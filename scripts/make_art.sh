#!/usr/bin/env bash
# Redraws the program's pictures (ui/resources/*.jpg) and the JPEG fuzz
# seeds from scripts/make_art.cpp, with Qt's offscreen platform.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2046
g++ -std=c++20 -O1 -fPIC -o "$work/make_art" "$root/scripts/make_art.cpp" \
  $(pkg-config --cflags --libs Qt6Gui)
mkdir -p "$root/fuzz/corpus/fuzz_jpeg"
QT_QPA_PLATFORM=offscreen "$work/make_art" "$root/ui/resources" "$root/fuzz/corpus/fuzz_jpeg"
ls -l "$root/ui/resources"/*.jpg "$root/fuzz/corpus/fuzz_jpeg"
