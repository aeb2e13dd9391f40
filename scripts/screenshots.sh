#!/usr/bin/env bash
# Takes screenshots of the desktop program without a display: the main
# window after a keyword survey of the in-process demo web, the Locate
# dialog and the About box, as PNG files.
#   scripts/screenshots.sh [OUT_DIR] [--keyword TEXT] [--dir BUILD_DIR]
# Default output: screenshots/ in the build tree (default build/).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build"
out=""
keyword="garden tools"
while (($#)); do
  case "$1" in
    --dir) dir="$2"; shift ;;
    --keyword) keyword="$2"; shift ;;
    *) out="$1" ;;
  esac
  shift
done
out="${out:-$dir/screenshots}"
if [[ ! -f "$dir/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$dir" -G Ninja >/dev/null
fi
cmake --build "$dir" --target corvane_screenshots >/dev/null
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$dir/ui/corvane_screenshots" "$out" "$keyword"
