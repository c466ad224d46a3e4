#!/usr/bin/env bash
# Runs shellcheck over every shell script of the source tree and fails on any
# finding, at every severity (style included).
#
#   tests/scripts/shellcheck_test.sh [SOURCE_DIR]
#
# A shell script is a file named *.sh or *.bash, a file whose first line is a
# sh/bash/dash shebang, or a bash completion file (packaging/bash-completion/,
# no shebang, checked as bash). Build folders, the sandbox state folder and
# the fuzz corpora are not looked at.
set -euo pipefail

source_dir="$(cd "${1:-$(dirname "$0")/../..}" && pwd)"
cd "$source_dir"

command -v shellcheck >/dev/null 2>&1 ||
  { echo "shellcheck_test: shellcheck is not installed (run scripts/install-deps.sh)" >&2; exit 1; }

scripts=()
completions=()
while IFS= read -r -d '' f; do
  f="${f#./}"
  case "$f" in
    packaging/bash-completion/*) completions+=("$f"); continue ;;
    *.sh | *.bash) scripts+=("$f"); continue ;;
  esac
  first="$(head -n 1 "$f" 2>/dev/null | tr -d '\0' || true)"
  if [[ $first =~ ^#!.*(/|[[:space:]])(sh|bash|dash)([[:space:]]|$) ]]; then
    scripts+=("$f")
  fi
done < <(find . \( -path ./.git -o -path './build*' -o -path ./sandbox/state -o -path ./fuzz/corpus \) -prune \
  -o -type f -print0 | sort -z)

# The scripts the test command depends on must be among those found, or the
# search above has gone wrong.
for must in scripts/test.sh scripts/install-deps.sh sandbox/varnel-sandbox .ci/run; do
  [[ " ${scripts[*]} " == *" $must "* ]] || { echo "shellcheck_test: $must was not found as a shell script" >&2; exit 1; }
done

status=0
shellcheck --norc --external-sources "${scripts[@]}" || status=1
if [ "${#completions[@]}" -gt 0 ]; then
  shellcheck --norc --shell=bash "${completions[@]}" || status=1
fi
if [ "$status" -ne 0 ]; then
  echo "shellcheck_test: findings above (fix them, or disable one check beside the line with the reason)" >&2
  exit 1
fi
echo "shellcheck_test: ${#scripts[@]} scripts and ${#completions[@]} completion files clean"
