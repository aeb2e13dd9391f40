#!/usr/bin/env bash
# Renders the About box offscreen to a PNG, so its layout can be looked at
# without a display.
#   scripts/render_about.sh [OUT.png] [--dir BUILD_DIR]
# Default output: about.png in the build tree (default build/).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build"
out=""
while (($#)); do
  case "$1" in
    --dir) dir="$2"; shift ;;
    *) out="$1" ;;
  esac
  shift
done
out="${out:-$dir/about.png}"
if [[ ! -f "$dir/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$dir" -G Ninja >/dev/null
fi
cmake --build "$dir" --target corvane_render_about >/dev/null
QT_QPA_PLATFORM=offscreen "$dir/ui/corvane_render_about" "$out"
echo "$out"
