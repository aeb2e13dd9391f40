#!/usr/bin/env bash
# Checks a built Debian package: its control fields (name, version, Debian
# dependencies, maintainer, section, description), that it holds the three
# programs, the desktop entry and the icon, and that each unpacked program
# answers --version with the package's version.
#   scripts/check_package.sh FILE.deb
set -euo pipefail
deb="${1:?usage: $0 FILE.deb}"
fail() { echo "check_package: $*" >&2; exit 1; }

info="$(dpkg-deb --info "$deb")"
contents="$(dpkg-deb --contents "$deb")"
echo "$info"
echo "$contents"

field() { dpkg-deb --field "$deb" "$1"; }
[[ "$(field Package)" == corvane ]] || fail "package name is '$(field Package)'"
version="$(field Version)"
[[ -n "$version" ]] || fail "no version"
for f in Maintainer Section Description Architecture; do
  [[ -n "$(field "$f")" ]] || fail "no $f field"
done
depends="$(field Depends)"
for lib in libqt6widgets6 libjpeg62-turbo libstdc++6 libc6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
for path in ./usr/bin/corvane ./usr/bin/corvane-cli ./usr/bin/corvane-demo-web \
            ./usr/share/applications/corvane.desktop \
            ./usr/share/icons/hicolor/scalable/apps/corvane.svg; do
  grep -qE "[[:space:]]${path//./\\.}\$" <<<"$contents" || fail "$path is not in the package"
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
for program in corvane corvane-cli corvane-demo-web; do
  got="$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/usr/bin/$program" --version)"
  [[ "$got" == "$program $version" ]] || fail "$program --version says '$got', not '$program $version'"
done
echo "check_package: $(basename "$deb") is complete (version $version)" >&2
