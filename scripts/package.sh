#!/usr/bin/env bash
# Builds the Debian package from the release preset (build-release/):
# corvane, corvane-cli, corvane-demo-web, the desktop entry and the icon,
# with the package's Debian dependencies worked out by dpkg-shlibdeps.
#   scripts/package.sh        prints the path of the .deb it made
# Install it with   apt install ./build-release/corvane_<version>_<arch>.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" --release >&2
dir="$root/build-release"
rm -f "$dir"/corvane_*.deb
(cd "$dir" && cpack -G DEB >&2)
deb=("$dir"/corvane_*.deb)
if ((${#deb[@]} != 1)) || [[ ! -f "${deb[0]}" ]]; then
  echo "package: no .deb made in $dir" >&2
  exit 1
fi
echo "${deb[0]}"
