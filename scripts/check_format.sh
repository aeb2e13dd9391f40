#!/usr/bin/env bash
# Checks that every C++ source of the project's folders is formatted by the
# repository's .clang-format, without a build tree; names the files that are
# not and fails. With --fix, formats them in place instead.
#   scripts/check_format.sh [--fix]
# The same folders as the format and check-format targets (cmake/ClangFormat.cmake).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
fix=0
if [[ "${1:-}" == "--fix" ]]; then
  fix=1
elif (($#)); then
  echo "usage: $0 [--fix]" >&2
  exit 2
fi
format="$(command -v clang-format-14 || command -v clang-format || true)"
if [[ -z "$format" ]]; then
  echo "check_format: clang-format is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi
dirs=(engine net platform demo cli ui tests bench fuzz base frontend history lists search scripts)
files=()
for d in "${dirs[@]}"; do
  if [[ ! -d "$d" ]]; then
    echo "check_format: no folder $d; update the list here and in cmake/ClangFormat.cmake" >&2
    exit 1
  fi
  while IFS= read -r -d '' f; do files+=("$f"); done \
    < <(find "$d" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
done
if ((fix)); then
  "$format" -i --style=file "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  if ! "$format" --dry-run --Werror --style=file "$f" >/dev/null 2>&1; then
    bad+=("$f")
  fi
done
if ((${#bad[@]})); then
  echo "check_format: ${#bad[@]} of ${#files[@]} files are not formatted (scripts/check_format.sh --fix, or the format target):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check_format: ${#files[@]} files formatted" >&2
