#!/usr/bin/env bash
# Times Varnel against the sandbox directory, side by side with the floor (the
# same changes sent by one ldapmodify process) and with the per-object shell
# loop an administrator would otherwise write (ldapsearch + ldapmodify per
# DN, on a sample). Then the -upd job through a relay that delays every
# chunk as a wide-area link would (bench/delay_relay.py), at the default
# -window and at -window 1, beside one serial ldapmodify through the same
# relay. Prints objects per second and the ratios, then the peak memory of
# Varnel reading 100,000 input DNs with -safety refusing the run.
#
#   bash bench/bench.sh [N] [LOOP_SAMPLE] [MEMORY_DNS]     (defaults 1000 50 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-1000}
SAMPLE=${2:-50}
MEMORY_DNS=${3:-100000}
VARNEL=${VARNEL:-build/varnel}
[ -x "$VARNEL" ] || { echo "build varnel first (cmake --build build)" >&2; exit 1; }

bash sandbox/varnel-sandbox start >/dev/null
eval "$(bash sandbox/varnel-sandbox env)"
LDAP=(-Q -o ldif-wrap=no)
ou="OU=Varnel Bench,$VARNEL_SANDBOX_BASE"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
rate() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.1f", n / t }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(uname -sr)"
echo "Preparing $((2 * N)) users in $ou ..."
ldapdelete "${LDAP[@]}" -r "$ou" 2>/dev/null || true
{
  printf 'dn: %s\nchangetype: add\nobjectClass: organizationalUnit\n\n' "$ou"
  for set in A B; do
    for i in $(seq -w 1 "$N"); do
      printf 'dn: CN=%s%s,%s\nchangetype: add\nobjectClass: user\nsAMAccountName: bench%s%s\n' \
        "$set" "$i" "$ou" "$set" "$i"
      printf 'mail: %s%s@bench.example\nmailNickname: %s%s\nextensionAttribute1: x\n' "$set" "$i" "$set" "$i"
      printf 'proxyAddresses: SMTP:%s%s@bench.example\ntargetAddress: SMTP:%s%s@bench.example\n\n' \
        "$set" "$i" "$set" "$i"
    done
  done
} >"$work/add.ldif"
ldapmodify "${LDAP[@]}" -f "$work/add.ldif" >/dev/null
for set in A B; do
  for i in $(seq -w 1 "$N"); do echo "CN=$set$i,$ou"; done >"$work/$set.dns"
done

# The floor: one ldapmodify process, one modify per object.
upd_ldif() {  # the change -upd -quota 100:200:300 -uhfal makes
  while read -r dn; do
    printf 'dn: %s\nchangetype: modify\nreplace: msExchHideFromAddressLists\nmsExchHideFromAddressLists: FALSE\n-\n' "$dn"
    printf 'replace: mDBUseDefaults\nmDBUseDefaults: FALSE\n-\nreplace: mDBStorageQuota\nmDBStorageQuota: 102400\n-\n'
    printf 'replace: mDBOverQuotaLimit\nmDBOverQuotaLimit: 204800\n-\nreplace: mDBOverHardQuotaLimit\nmDBOverHardQuotaLimit: 307200\n-\n\n'
  done
}
clear_ldif() {  # the change -clear makes on these objects
  while read -r dn; do
    printf 'dn: %s\nchangetype: modify\n' "$dn"
    for a in extensionAttribute1 mail mailNickname mDBOverHardQuotaLimit mDBOverQuotaLimit \
      mDBStorageQuota mDBUseDefaults msExchHideFromAddressLists proxyAddresses targetAddress; do
      printf 'delete: %s\n-\n' "$a"
    done
    echo
  done
}
upd_ldif <"$work/A.dns" >"$work/upd.ldif"
clear_ldif <"$work/A.dns" >"$work/clear.ldif"

t0=$(now); ldapmodify "${LDAP[@]}" -f "$work/upd.ldif" >/dev/null; t1=$(now)
floor_upd=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
t0=$(now); "$VARNEL" -upd -quota 100:200:300 -uhfal -unsafe -q <"$work/B.dns" >"$work/upd.out"; t1=$(now)
varnel_upd=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
grep -q "Successful    : $N" "$work/upd.out" || { cat "$work/upd.out"; echo "varnel -upd failed" >&2; exit 1; }

t0=$(now); ldapmodify "${LDAP[@]}" -f "$work/clear.ldif" >/dev/null; t1=$(now)
floor_clear=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
t0=$(now); "$VARNEL" -clear -unsafe -q <"$work/B.dns" >"$work/clear.out"; t1=$(now)
varnel_clear=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
grep -q "Successful    : $N" "$work/clear.out" || { cat "$work/clear.out"; echo "varnel -clear failed" >&2; exit 1; }

# The shell loop: look each object up, then modify it, one process each.
head -n "$SAMPLE" "$work/A.dns" >"$work/sample.dns"
t0=$(now)
while read -r dn; do
  ldapsearch "${LDAP[@]}" -LLL -b "$dn" -s base "(objectClass=*)" 1.1 >/dev/null
  printf 'dn: %s\nchangetype: modify\nreplace: mDBStorageQuota\nmDBStorageQuota: 10240\n-\n' "$dn" |
    ldapmodify "${LDAP[@]}" >/dev/null
done <"$work/sample.dns"
t1=$(now)
loop=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')

echo
printf '%-44s %10s %12s\n' "run ($N objects; loop on $SAMPLE)" "seconds" "objects/s"
printf '%-44s %10.2f %12s\n' "ldapmodify, one process (floor), -upd change" "$floor_upd" "$(rate "$N" "$floor_upd")"
printf '%-44s %10.2f %12s\n' "varnel -upd -quota 100:200:300 -uhfal" "$varnel_upd" "$(rate "$N" "$varnel_upd")"
printf '%-44s %10.2f %12s\n' "ldapmodify, one process (floor), -clear change" "$floor_clear" "$(rate "$N" "$floor_clear")"
printf '%-44s %10.2f %12s\n' "varnel -clear" "$varnel_clear" "$(rate "$N" "$varnel_clear")"
printf '%-44s %10.2f %12s\n' "shell loop ldapsearch+ldapmodify per DN" "$loop" "$(rate "$SAMPLE" "$loop")"
echo
per_loop=$(awk -v t="$loop" -v n="$SAMPLE" 'BEGIN { print t / n }')
echo "varnel -upd   / floor: $(ratio "$varnel_upd" "$floor_upd")  (target <= 2)"
echo "varnel -clear / floor: $(ratio "$varnel_clear" "$floor_clear")  (target <= 2)"
echo "shell loop / varnel -upd   per object: $(ratio "$per_loop" "$(awk -v t="$varnel_upd" -v n="$N" 'BEGIN { print t / n }')")  (target >= 10)"
echo "shell loop / varnel -clear per object: $(ratio "$per_loop" "$(awk -v t="$varnel_clear" -v n="$N" 'BEGIN { print t / n }')")  (target >= 10)"

# The same -upd job over a wide-area link: a relay on loopback that delays
# every chunk by WAN_DELAY_MS in each direction. Varnel keeps up to -window
# requests outstanding (default 32), so the round trip is hidden; with
# -window 1 and with one serial ldapmodify process it is paid per request.
WAN_DELAY_MS=${WAN_DELAY_MS:-10}
python=$(command -v /usr/bin/python3 || command -v python3)
"$python" bench/delay_relay.py 127.0.0.1 389 "$WAN_DELAY_MS" >"$work/relay.port" &
relay=$!
trap 'kill "$relay" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/relay.port" ] && break; sleep 0.1; done
relay_port=$(head -n 1 "$work/relay.port")
upd_rerun() {  # the same -upd change again, through the relay or not
  local set="$1" label="$2"
  shift 2
  local t0 t1
  t0=$(now)
  "$VARNEL" -upd -quota 100:200:300 -uhfal -cont -unsafe -q "$@" <"$work/$set.dns" >"$work/wan.out"
  t1=$(now)
  grep -q "Successful    : $N" "$work/wan.out" ||
    { cat "$work/wan.out"; echo "varnel $label failed" >&2; exit 1; }
  awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'
}
lan_cont=$(upd_rerun A "-upd -cont (loopback)")
wan_cont=$(upd_rerun A "-upd -cont (relay)" -h "localhost:$relay_port")
wan_serial=$(upd_rerun A "-upd -cont -window 1 (relay)" -h "localhost:$relay_port" -window 1)
t0=$(now)
ldapmodify "${LDAP[@]}" -H "ldap://localhost:$relay_port" -f "$work/upd.ldif" >/dev/null
t1=$(now)
wan_floor=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
echo
printf '%-52s %10s %12s\n' "through a relay adding ${WAN_DELAY_MS} ms each way ($N objects)" "seconds" "objects/s"
printf '%-52s %10.2f %12s\n' "varnel -upd -cont, loopback" "$lan_cont" "$(rate "$N" "$lan_cont")"
printf '%-52s %10.2f %12s\n' "varnel -upd -cont, relay (default -window 32)" "$wan_cont" "$(rate "$N" "$wan_cont")"
printf '%-52s %10.2f %12s\n' "varnel -upd -cont -window 1, relay" "$wan_serial" "$(rate "$N" "$wan_serial")"
printf '%-52s %10.2f %12s\n' "ldapmodify, one serial process, relay" "$wan_floor" "$(rate "$N" "$wan_floor")"
echo "relay / loopback, varnel -upd -cont:        $(ratio "$wan_cont" "$lan_cont")  (target <= 1.3)"
echo "serial ldapmodify / varnel -upd -cont, relay: $(ratio "$wan_floor" "$wan_cont")  (expect about 4 here)"
echo "varnel -window 1 / default window, relay:     $(ratio "$wan_serial" "$wan_cont")"
echo "varnel -upd -cont / floor, loopback:          $(ratio "$lan_cont" "$floor_upd")  (target <= 1.1)"
kill "$relay" 2>/dev/null || true

# Peak memory and time for a long input that the safety limit refuses. The
# list is counted before any DN is looked up, so beyond start-up (timed with
# a one-line list refused by -safety 0) the refusal costs only the reading.
seq -f "CN=Nobody %g,$ou" 1 "$MEMORY_DNS" >"$work/many.dns"
t0=$(now)
/usr/bin/time -f "%M" -o "$work/rss" "$VARNEL" -clear -q <"$work/many.dns" >"$work/many.out" || true
t1=$(now)
grep -q "More DNs than allowed for by safety setting of 10" "$work/many.out" ||
  { echo "the safety limit did not refuse the run" >&2; exit 1; }
t2=$(now)
echo "CN=Nobody,$ou" | "$VARNEL" -clear -q -safety 0 >/dev/null || true
t3=$(now)
refused=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
startup=$(awk -v a="$t2" -v b="$t3" 'BEGIN { printf "%.2f", b - a }')
echo
echo "varnel with $MEMORY_DNS input DNs, refused by -safety: peak RSS $(tail -n 1 "$work/rss") KiB," \
  "$refused s; start-up alone $startup s;" \
  "after start-up $(awk -v a="$refused" -v b="$startup" 'BEGIN { printf "%.2f", a - b }') s (target < 1)"
ldapdelete "${LDAP[@]}" -r "$ou" >/dev/null 2>&1 || true
