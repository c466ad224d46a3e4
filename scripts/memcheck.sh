#!/usr/bin/env bash
# Memory check: real runs of varnel against the sandbox directory under
# valgrind memcheck. Fails on any memory error and on any block definitely lost.
#
#   scripts/memcheck.sh [--runs-only|--suite-only] [BUILD_DIR]    (default: build)
#
# 1. Runs of its own: -clear, -upd, -cr, -move and -me, with lists, overrides,
#    refusals, failures and bad input, on fresh objects made with ldapmodify;
#    and a run stopped by SIGINT half-way.
# 2. The integration suite (varnel_integration_tests), every varnel run of it
#    going through valgrind (VARNEL_WRAPPER); valgrind changes a run's exit
#    status only when it finds an error, so the suite's own checks still hold.
# Every valgrind log is then read: "ERROR SUMMARY: 0 errors" and nothing
# definitely lost, or the check fails. The only suppressions are those of
# scripts/memcheck.supp: leaks of the system's libraries, each with its stack.
#
# Needs a built BUILD_DIR (varnel and tests/varnel_integration_tests) and the
# running sandbox; leaves the sandbox running in native mode.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=all
case "${1:-}" in
  --runs-only) mode=runs; shift ;;
  --suite-only) mode=suite; shift ;;
esac
build="${1:-build}"
varnel="$build/varnel"
suite="$build/tests/varnel_integration_tests"
sandbox=sandbox/varnel-sandbox

[ -x "$varnel" ] || { echo "memcheck: $varnel not built" >&2; exit 2; }
if ! command -v valgrind >/dev/null; then
  echo "memcheck: valgrind is missing; installing the project's packages"
  bash scripts/install-deps.sh
  command -v valgrind >/dev/null || { echo "memcheck: valgrind is still missing" >&2; exit 2; }
fi
bash "$sandbox" status >/dev/null || bash "$sandbox" start --native >/dev/null

logs="$(mktemp -d /tmp/varnel-memcheck.XXXXXX)"
memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
  --errors-for-leak-kinds=definite --num-callers=40 "--suppressions=$PWD/scripts/memcheck.supp"
  "--log-file=$logs/vg.%p.log")
started=$(date +%s)
failures=0

fail() {
  echo "memcheck: FAIL: $*" >&2
  failures=$((failures + 1))
}

fact() { bash "$sandbox" env | sed -n "s/^export $1=//p" | tr -d "'\""; }

# ldap TOOL ARGS...: an OpenLDAP tool as the administrator.
ldap() {
  local tool="$1"
  shift
  bash "$sandbox" exec -- "$tool" -Q -Y GSSAPI "$@"
}

# varnel_run EXPECTED_STATUS [--user] [--closed-input] ARGS... < input
# (never at the end of a pipeline: the counts must stay in this shell)
varnel_run() {
  local expected="$1" account=() closer=()
  shift
  if [ "${1:-}" = "--user" ]; then
    account=(--user)
    shift
  fi
  if [ "${1:-}" = "--closed-input" ]; then
    closer=(sh -c 'exec "$@" <&-' sh)
    shift
  fi
  local status=0
  bash "$sandbox" exec "${account[@]}" -- "${closer[@]}" "${memcheck[@]}" "$varnel" "$@" \
    >"$logs/last.out" 2>"$logs/last.err" || status=$?
  runs=$((runs + 1))
  if [ "$status" -ne "$expected" ]; then
    fail "varnel $* ended with $status, expected $expected"
    tail -n 5 "$logs/last.out" "$logs/last.err" >&2 || true
  fi
}

own_runs() {
  local base ou gal i
  base="$(fact VARNEL_SANDBOX_BASE)"
  gal="$(fact VARNEL_SANDBOX_GAL)"
  ou="OU=memcheck,OU=Varnel Tests,$base"
  ldap ldapdelete -r "$ou" >/dev/null 2>&1 || true
  printf 'dn: OU=Varnel Tests,%s\nchangetype: add\nobjectClass: organizationalUnit\n\n' "$base" |
    ldap ldapmodify -c >/dev/null 2>&1 || true
  {
    printf 'dn: %s\nchangetype: add\nobjectClass: organizationalUnit\n\n' "$ou"
    for i in 1 2 3 4; do
      printf 'dn: CN=Mem Contact %s,%s\nchangetype: add\nobjectClass: contact\n' "$i" "$ou"
      printf 'mail: mc%s@example.com\nmailNickname: mc%s\ntargetAddress: SMTP:mc%s@example.org\n' "$i" "$i" "$i"
      printf 'proxyAddresses: SMTP:mc%s@example.com\nshowInAddressBook: %s\n\n' "$i" "$gal"
    done
    for i in 1 2 3 4 5; do
      printf 'dn: CN=Mem User %s,%s\nchangetype: add\nobjectClass: user\nsAMAccountName: memuser%s\n\n' \
        "$i" "$ou" "$i"
    done
    for i in 1 2 3; do
      printf 'dn: CN=Mem Plain %s,%s\nchangetype: add\nobjectClass: contact\n\n' "$i" "$ou"
    done
    printf 'dn: CN=Mem Keep,%s\nchangetype: add\nobjectClass: contact\nmail: keep@example.com\n\n' "$ou"
    printf 'dn: CN=Mem Group,%s\nchangetype: add\nobjectClass: group\nsAMAccountName: memgroup\n\n' "$ou"
  } | ldap ldapmodify >/dev/null

  local c1="CN=Mem Contact 1,$ou" c2="CN=Mem Contact 2,$ou" c3="CN=Mem Contact 3,$ou"
  local c4="CN=Mem Contact 4,$ou" u1="CN=Mem User 1,$ou" u2="CN=Mem User 2,$ou"
  local u3="CN=Mem User 3,$ou" u4="CN=Mem User 4,$ou" u5="CN=Mem User 5,$ou"

  # Clearing: a list with a missing object at the end, and a refusal.
  varnel_run 32 -clear -cont < <(printf '%s\n%s\n%s\nCN=Missing,%s\n' "$c1" "$c2" "$c3" "$ou")
  varnel_run 50 --user -clear -b "$c4"
  # Updates: quotas and hiding over a list, partial quotas, debug traces, bad
  # (decreasing) quotas refused before the directory is touched, a refusal.
  varnel_run 0 -upd -quota 100:200:300 -hfal < <(printf '%s\n%s\n' "$u1" "$u2")
  varnel_run 0 -upd -quota ::500 -uhfal -d -b "$u1"
  varnel_run 1 -upd -quota 300:200:100 -b "$u2"
  varnel_run 50 --user -upd -quota 1:2:3 -b "$u1"
  # Mailbox creation with override databases (the second spelling from the
  # cache) and the update that follows, a refused second creation, a move.
  varnel_run 0 -cr SRV1:SG1:DB1 -quota 10:20:30 -hfal -d \
    < <(printf '%s\n%s\tSRV2:SG1:DB3\n%s\tsrv2:sg1:db3\n' "$u3" "$u4" "$u5")
  varnel_run 68 -cr SRV1:SG1:DB1 -b "$u3"
  varnel_run 0 -move SRV2:SG1:DB1 < <(printf '%s\n%s\tSRV1:SG2:DB2\n' "$u3" "$u4")
  varnel_run 254 -move SRV2:SG1:DB1 -b "$u1"
  # Mail-enabling contacts (one with its own address), a group, -keepmail, a refusal.
  varnel_run 0 -me plain@example.com -quota 1:2:3 \
    < <(printf '%s\n%s\tother@example.org\n' "CN=Mem Plain 1,$ou" "CN=Mem Plain 2,$ou")
  varnel_run 0 -me -b "CN=Mem Group,$ou"
  varnel_run 0 -me x@example.com -keepmail -internetencoding 917504 -b "CN=Mem Keep,$ou"
  varnel_run 50 --user -me y@example.com -b "CN=Mem Plain 3,$ou"
  # Bad input: junk with NUL bytes and an over-long line, read whole and
  # refused by the safety limit (its lines name no object, so a run would
  # stop at its first read); a closed input.
  varnel_run 255 -upd -hfal -safety 1 -q < <(head -c 65536 /dev/urandom; head -c 20000 /dev/zero | tr '\0' a)
  varnel_run 0 --closed-input -clear -q
  # A run stopped half-way by SIGINT.
  signalled_run "$ou"
}

# signalled_run OU: an update of 100 new users in OU, sent SIGINT once a few
# items have been shown; it must end with 130 after its summary. A small
# -window keeps most of them unsent by then: the found window starts larger
# than the list, and would send every item at once.
signalled_run() {
  local ou="$1" i pid status=0 waited=0
  for i in $(seq 1 100); do
    printf 'dn: CN=Mem Signal %s,%s\nchangetype: add\nobjectClass: user\n' "$i" "$ou"
    printf 'sAMAccountName: memsignal%s\n\n' "$i"
  done | ldap ldapmodify >/dev/null
  for i in $(seq 1 100); do printf 'CN=Mem Signal %s,%s\n' "$i" "$ou"; done >"$logs/signal.in"
  : >"$logs/last.out"
  bash "$sandbox" exec -- "${memcheck[@]}" "$varnel" -upd -quota 10:20:30 -cont -window 4 -unsafe \
    <"$logs/signal.in" >"$logs/last.out" 2>"$logs/last.err" &
  pid=$!
  while [ "$(grep -c '^   DN: ' "$logs/last.out" || true)" -lt 3 ] && [ "$waited" -lt 1200 ] &&
    kill -0 "$pid" 2>/dev/null; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -INT "$pid" 2>/dev/null || true
  wait "$pid" || status=$?
  runs=$((runs + 1))
  if [ "$status" -ne 130 ] || ! grep -q '^The command completed with errors\.$' "$logs/last.out"; then
    fail "varnel -upd sent SIGINT ended with $status, expected 130 after its summary"
    tail -n 5 "$logs/last.out" "$logs/last.err" >&2 || true
  fi
}

check_logs() {
  local log errors lost total_errors=0 total_lost=0 count=0
  for log in "$logs"/vg.*.log; do
    [ -e "$log" ] || continue
    count=$((count + 1))
    errors="$(sed -n 's/.*ERROR SUMMARY: \([0-9,]*\) errors.*/\1/p' "$log" | tr -d , | tail -1)"
    lost="$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$log" | tr -d , | tail -1)"
    if [ -z "$errors" ]; then
      fail "$log: no error summary (the run did not finish under valgrind)"
      continue
    fi
    total_errors=$((total_errors + errors))
    total_lost=$((total_lost + ${lost:-0}))
    if [ "$errors" -ne 0 ] || [ "${lost:-0}" -ne 0 ]; then
      fail "$log: $errors errors, ${lost:-0} bytes definitely lost"
      sed -n '1,200p' "$log" >&2
    fi
  done
  echo "memcheck: $count varnel runs under valgrind, $total_errors errors, $total_lost bytes definitely lost"
  [ "$count" -gt 0 ] || fail "no valgrind logs in $logs"
}

runs=0
if [ "$mode" != suite ]; then
  echo "memcheck: runs of its own"
  own_runs
fi
if [ "$mode" != runs ]; then
  [ -x "$suite" ] || { echo "memcheck: $suite not built" >&2; exit 2; }
  echo "memcheck: the integration suite under valgrind"
  # All but the test that waits half a minute for a server that never answers.
  if ! VARNEL_WRAPPER="${memcheck[*]}" "$suite" --gtest_filter='-FaultHangIT.*' \
    >"$logs/suite.txt" 2>&1; then
    fail "integration suite under valgrind (see $logs/suite.txt)"
    grep -E '^\[  FAILED  \]|Failure' "$logs/suite.txt" | head -40 >&2 || true
  fi
  grep -E '^\[  PASSED  \]' "$logs/suite.txt" || true
fi
check_logs
bash "$sandbox" status >/dev/null || bash "$sandbox" start --native >/dev/null
echo "memcheck: $(( $(date +%s) - started )) s, logs in $logs"
if [ "$failures" -ne 0 ]; then
  echo "memcheck: $failures failure(s)" >&2
  exit 1
fi
rm -rf "$logs"
echo "memcheck: passed"
