#!/usr/bin/env bash
# Checks that the C++ files of src/, bench/ and fuzz/ are laid out as .clang-format says, and
# lists those that are not; with --fix, lays them out. Debian 12's clang-format 14: other
# versions lay out some constructs differently, so the check would flip between machines.
#   scripts/format.sh [--fix]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
format=$(command -v clang-format-14 || command -v clang-format) ||
  { echo "needs clang-format (Debian package clang-format)" >&2; exit 2; }
cd "$root"
unformatted=()
while IFS= read -r file; do
  if [ "${1:-}" = --fix ]; then
    "$format" -i --style=file "$file"
  elif ! "$format" --style=file "$file" | cmp -s - "$file"; then
    unformatted+=("$file")
  fi
done < <(git ls-files --cached --others --exclude-standard -- 'src/*.cpp' 'src/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp')
[ ${#unformatted[@]} -eq 0 ] && exit 0
printf 'not formatted (scripts/format.sh --fix lays them out):\n'
printf '  %s\n' "${unformatted[@]}"
exit 1
