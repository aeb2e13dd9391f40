#!/usr/bin/env bash
# The main job from a fresh Debian 12 machine: installs what is missing,
# builds the command-line front end and runs a keyword survey on the bundled
# demo web (a synthetic web served on loopback), printing the table.
#   scripts/demo.sh [survey options...]    default: --keyword "garden tools" --results 20
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
(cd "$root" && cmake --preset dev >/dev/null)
cmake --build "$root/build" -j "$(nproc)" --target corvane-cli >/dev/null
if (($# == 0)); then
  set -- --keyword "garden tools" --results 20
fi
exec "$root/build/cli/corvane-cli" survey --demo "$@"
