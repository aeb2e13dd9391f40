#!/usr/bin/env bash
# Takes screenshots of the desktop program without a display: the main
# window after a keyword survey of the in-process demo web, its menus, the
# help window, the Locate dialog and the About box, as PNG files.
#   scripts/screenshots.sh [OUT_DIR] [--keyword TEXT] [--dir BUILD_DIR] [--help-images]
# Default output: screenshots/ in the build tree (default build/).
# --help-images also copies the main window, the Locate dialog and the About
# box into ui/help/, where the help pages and README show them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build"
out=""
keyword="garden tools"
help_images=0
while (($#)); do
  case "$1" in
    --dir) dir="$2"; shift ;;
    --keyword) keyword="$2"; shift ;;
    --help-images) help_images=1 ;;
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
if ((help_images)); then
  for shot in main-window locate-dialog about-box; do
    cp "$out/$shot.png" "$root/ui/help/$shot.png"
  done
fi
