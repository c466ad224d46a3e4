#!/usr/bin/env bash
# Checks that every C++ source of the tree (src, tests, fuzz, bench) is as
# clang-format, with the repository's .clang-format, would write it. Changes
# nothing; names each file that differs and exits with status 1.
#
#   scripts/check-format.sh
#   clang-format -i FILE...     # to fix what it names
#
# CLANG_FORMAT picks another binary (default: clang-format).
set -euo pipefail
cd "$(dirname "$0")/.."

clang_format="${CLANG_FORMAT:-clang-format}"
command -v "$clang_format" >/dev/null 2>&1 ||
  { echo "check-format: $clang_format is missing (scripts/install-deps.sh installs it)" >&2; exit 2; }

files=()
while IFS= read -r -d '' file; do
  files+=("$file")
done < <(find src tests fuzz bench -type f \( -name '*.cc' -o -name '*.h' \) -print0 | sort -z)
[ ${#files[@]} -gt 0 ] || { echo "check-format: no sources found" >&2; exit 2; }

# One run over all of them; only when that fails is each file asked again,
# to name those that differ.
if ! "$clang_format" --style=file --dry-run -Werror "${files[@]}" >/dev/null 2>&1; then
  unformatted=()
  for file in "${files[@]}"; do
    "$clang_format" --style=file --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
  done
  if [ ${#unformatted[@]} -eq 0 ]; then
    # No one file differs: clang-format itself failed; show why.
    "$clang_format" --style=file --dry-run -Werror "${files[@]}" >/dev/null || true
    echo "check-format: $clang_format failed" >&2
    exit 2
  fi
  echo "check-format: not formatted as .clang-format asks (run clang-format -i on them):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
