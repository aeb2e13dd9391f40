#!/usr/bin/env bash
# Installs every Debian package in scripts/packages.txt that is not installed
# yet. Safe to run again: with nothing missing it changes nothing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done < "$here/packages.txt"

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo -n)
fi
export DEBIAN_FRONTEND=noninteractive
# Services that the packages would start at install time are not wanted:
# the tests start their own peers on loopback.
policy=/usr/sbin/policy-rc.d
made_policy=0
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee $policy >/dev/null
  "${sudo[@]}" chmod +x $policy
  made_policy=1
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
if ((made_policy)); then
  "${sudo[@]}" rm -f $policy
fi
