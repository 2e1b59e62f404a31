#!/usr/bin/env bash
# Lists the C++ files that clang-format, with the tree's .clang-format, would change, and how many
# lines of each; exits 1 when there is any, 0 when the tree is formatted. Changes nothing.
#
#   scripts/check_format.sh            every file under src, tests, bench, fuzz and tools
#   scripts/check_format.sh FILE...    these files only
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "$0: clang-format is not installed (Debian package clang-format)" >&2
  exit 2
fi

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(find src tests bench fuzz tools -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
fi

# One clang-format for every file names those it would change (a process per file took forty
# seconds, nearly all of it starting clang-format); only they are then counted line by line.
if ! report=$(clang-format --style=file --dry-run "${files[@]}" 2>&1); then
  printf '%s\n' "$report" >&2
  exit 2
fi
mapfile -t suspects < <(printf '%s\n' "$report" |
  sed -n 's/^\(.*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | uniq)

unformatted=0
lines=0
for file in "${suspects[@]}"; do
  # Lines of the file that the formatted text replaces.
  changed=$(clang-format --style=file "$file" | diff "$file" - | grep -c '^<' || true)
  if [ "$changed" -gt 0 ]; then
    printf '%5d  %s\n' "$changed" "$file"
    unformatted=$((unformatted + 1))
    lines=$((lines + changed))
  fi
done

if [ "$unformatted" -gt 0 ]; then
  echo "$unformatted of ${#files[@]} files differ from .clang-format in $lines lines; clang-format -i FILE... formats them" >&2
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
