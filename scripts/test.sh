#!/usr/bin/env bash
# Installs what is missing, checks that the sources are as clang-format writes
# them, builds with warnings as errors and runs every test: the unit tests once
# more under AddressSanitizer and UBSan, every fuzz target for a minute, real
# runs and the integration suite under valgrind memcheck, then all tests
# (unit and integration, the latter against the sandbox directory).
#
# The sandbox directory is stopped again at the end, pass or fail, unless it
# was already running when the run began; the exit status is the tests'.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
sandbox=sandbox/varnel-sandbox

sandbox_was_running=0
if bash "$sandbox" status >/dev/null 2>&1; then
  sandbox_was_running=1
fi
# Runs after ctest's summary, so it prints nothing unless the stop fails.
# Whatever started the sandbox during the run (this script, memcheck.sh, the
# fault tests that restart it) is stopped.
stop_sandbox() {
  local status=$?
  trap - EXIT INT TERM
  if [ "$sandbox_was_running" -eq 0 ] && ! bash "$sandbox" stop >/dev/null 2>&1; then
    echo "test.sh: could not stop the sandbox directory (run: bash $sandbox stop)" >&2
    [ "$status" -ne 0 ] || status=1
  fi
  exit "$status"
}
trap stop_sandbox EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

bash scripts/install-deps.sh

echo "== Source format =="
bash scripts/check-format.sh

echo "== Sanitizer build (unit tests) =="
# The builds are the presets of CMakePresets.json.
cmake --preset sanitizer
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L unit --output-on-failure -j"$jobs"

echo "== Fuzzing =="
bash scripts/fuzz.sh 60

echo "== Build =="
# The preset names every option: build/ is shared with demo.sh, whose cache
# would otherwise leave the integration tests out.
cmake --preset release
cmake --build build -j"$jobs"

echo "== Debian package =="
# Builds, installs and tries the package; its sandbox job runs in a network
# namespace of its own, so it does not meet the sandbox started below.
bash scripts/package-check.sh

echo "== Sandbox directory =="
bash "$sandbox" start

echo "== Memory check (valgrind) =="
bash scripts/memcheck.sh build

echo "== All tests =="
ctest --test-dir build --output-on-failure
