#!/usr/bin/env bash
# Times every Varnel action against the sandbox directory, N objects each:
#
#   loopback  varnel on ldap://localhost
#   relay     the same run through bench/delay_relay.py, which delays every
#             chunk by WAN_DELAY_MS (default 10) in each direction, as a
#             wide-area link would; -window should hide the round trip
#   floor     the run's own -whatif LDIF sent by one serial ldapmodify
#             process on loopback: the server's cost for the same changes
#   bound     the least relay/loopback the link allows the run: loopback
#             plus what the relay adds to a run of one object (its bind,
#             its read, its write: round trips each waiting for the last,
#             that no window hides), over loopback. Without -cont a list
#             pays more: after the first write, a round trip for each step
#             of the slow start
#
# Each timed run gets its own freshly made objects (a run changes them), so
# the runs of an action do the same work. Every varnel run uses -unsafe -q,
# in each of the modes of MODES (default "default undo cont": the stop rule,
# -undo FILE, -cont), and must report all N objects successful. Prints one row
# per action and mode with the ratios relay/loopback and loopback/floor beside their
# targets, then the per-object shell loop an administrator would otherwise
# write (ldapsearch + ldapmodify per DN, on a sample) against varnel -upd,
# then the peak memory of Varnel reading MEMORY_DNS input DNs with -safety
# refusing the run.
#
#   bash bench/bench.sh [N] [LOOP_SAMPLE] [MEMORY_DNS]     (defaults 300 50 100000)
#
# ROUNDS=R (1 to 9, default 1) times every run R times, each on objects of its
# own, the rounds one after the other; the table then shows the median of the
# R times and the ratios of the medians, which a busy machine disturbs less.
#
# The sandbox must be running (sandbox/varnel-sandbox start); the bench only
# reads its environment (VARNEL_SANDBOX_STATE selects another state folder)
# and works in an OU of its own, removed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-300}
SAMPLE=${2:-50}
MEMORY_DNS=${3:-100000}
WAN_DELAY_MS=${WAN_DELAY_MS:-10}
ROUNDS=${ROUNDS:-1}
VARNEL=${VARNEL:-build/varnel}
[ -x "$VARNEL" ] || { echo "build varnel first (cmake --build build)" >&2; exit 1; }
[[ $N =~ ^[1-9][0-9]{0,4}$ ]] || { echo "N must be a number from 1 to 99999" >&2; exit 1; }
[[ $ROUNDS =~ ^[1-9]$ ]] || { echo "ROUNDS must be a number from 1 to 9" >&2; exit 1; }
if ! [[ $SAMPLE =~ ^[1-9][0-9]*$ ]] || [ "$SAMPLE" -gt "$N" ]; then
  echo "LOOP_SAMPLE must be a number from 1 to N" >&2
  exit 1
fi

sandbox_env=$(bash sandbox/varnel-sandbox env) ||
  { echo "the sandbox directory is not running (sandbox/varnel-sandbox start)" >&2; exit 1; }
eval "$sandbox_env"

# Targets: the relay's round trip hidden, and little above the server's own cost.
RELAY_TARGET=1.3
FLOOR_TARGET=1.15

# The database new mailboxes go to, and the one mailboxes move to from
# SRV1/SG1/DB1 (where the bench makes them, below); all three exist in the
# sandbox's sample organisation.
CREATE_MDB=SRV1:SG1:DB1
MOVE_TO=SRV1:SG2:DB2
org_dn="$VARNEL_SANDBOX_ORG"
admin_group="$VARNEL_SANDBOX_ADMIN_GROUP"
srv1="CN=SRV1,CN=Servers,$admin_group"
from_mdb="CN=DB1,CN=SG1,CN=InformationStore,$srv1"
from_mta="CN=Microsoft MTA,$srv1"
from_server="/o=Varnel Org/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=SRV1"
recipients="/o=Varnel Org/ou=First Administrative Group/cn=Recipients"
gal="CN=Default Global Address List,CN=All Global Address Lists,CN=Address Lists Container,$org_dn"

LDAP=(-Q -o ldif-wrap=no)
# A name of this run's own: the sandbox is shared, so two benches (or a test
# suite) running at once must not meet in one OU or one sAMAccountName.
tag=$(printf '%04x' $(($$ % 65536)))
ou="OU=Varnel Bench $tag,$VARNEL_SANDBOX_BASE"
work=$(mktemp -d)
relay=
# The OU goes even when the bench fails. The sandbox is shared and may be
# restarted under us, so the removal is tried again and a leftover is named.
remove_ou() {
  local try rc
  for try in 1 2 3; do
    ldapdelete "${LDAP[@]}" -r "$ou" >/dev/null 2>&1 && return 0
    rc=0
    ldapsearch "${LDAP[@]}" -LLL -b "$ou" -s base "(objectClass=*)" 1.1 >/dev/null 2>&1 || rc=$?
    [ "$rc" -ne 32 ] || return 0  # no such object: gone after all
    [ "$try" -eq 3 ] || sleep 2
  done
  echo "could not remove $ou; remove it with: ldapdelete -Q -r \"$ou\"" >&2
}
cleanup() {
  if [ -n "$relay" ]; then kill "$relay" 2>/dev/null || true; fi
  remove_ou
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
within() { awk -v r="$1" -v t="$2" 'BEGIN { exit !(r <= t) }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The actions: a short key (also the objects' name prefix), what the objects
# are before the run, and the switches.
keys=(uh hf cl me cr mv)
declare -A kind switches
kind=([uh]=mailuser [hf]=mailuser [cl]=mailbox [me]=contact [cr]=user [mv]=mailbox)
switches=(
  [uh]="-upd -quota 100:200:300 -uhfal"
  [hf]="-upd -quota 100:200:300 -hfal"
  [cl]="-clear"
  [me]="-me ext@example.net"
  [cr]="-cr $CREATE_MDB"
  [mv]="-move $MOVE_TO"
)
# The modes a run is timed in: the default stop rule, -undo, and -cont.
read -r -a modes <<<"${MODES:-default undo cont}"
# Object sets, per round: F for the floor, then per mode L for loopback and R
# for the relay; and per mode the one-object sets of the bound, 1L and 1R.
sets=()
solo_sets=()
for round in $(seq 1 "$ROUNDS"); do
  sets+=("F$round")
  for mode in "${modes[@]}"; do
    sets+=("L$mode$round" "R$mode$round")
    solo_sets+=("1L$mode$round" "1R$mode$round")
  done
done

# One object as an LDIF add record: name, sAMAccountName, kind.
object_ldif() {
  local dn="CN=$1,$ou" sam="$2"
  case "$3" in
    contact)
      printf 'dn: %s\nchangetype: add\nobjectClass: contact\n\n' "$dn"
      ;;
    user)
      printf 'dn: %s\nchangetype: add\nobjectClass: user\nsAMAccountName: %s\n\n' "$dn" "$sam"
      ;;
    mailuser)  # mail-enabled, hidden from the address lists
      printf 'dn: %s\nchangetype: add\nobjectClass: user\nsAMAccountName: %s\n' "$dn" "$sam"
      printf 'mail: %s@bench.example\nmailNickname: %s\nextensionAttribute1: x\n' "$sam" "$sam"
      printf 'proxyAddresses: SMTP:%s@bench.example\ntargetAddress: SMTP:%s@bench.example\n' "$sam" "$sam"
      printf 'legacyExchangeDN: %s/cn=%s\nmsExchHideFromAddressLists: TRUE\n\n' "$recipients" "$sam"
      ;;
    mailbox)  # a mailbox on the move's source database, with its own quotas
      printf 'dn: %s\nchangetype: add\nobjectClass: user\nsAMAccountName: %s\n' "$dn" "$sam"
      printf 'homeMDB: %s\nhomeMTA: %s\nmsExchHomeServerName: %s\n' "$from_mdb" "$from_mta" "$from_server"
      printf 'mailNickname: %s\nlegacyExchangeDN: %s/cn=%s\n' "$sam" "$recipients" "$sam"
      printf 'msExchMailboxGuid:: %s\n' "$(printf '%16.16s' "$sam" | base64)"
      printf 'mail: %s@bench.example\nproxyAddresses: SMTP:%s@bench.example\n' "$sam" "$sam"
      printf 'showInAddressBook: %s\nmDBUseDefaults: FALSE\nmDBStorageQuota: 102400\n' "$gal"
      printf 'mDBOverQuotaLimit: 204800\nmDBOverHardQuotaLimit: 307200\n\n'
      ;;
  esac
}

# Times one varnel run over a DN list and checks that every object succeeded.
varnel_run() {  # key set mode [extra switches...]
  local key="$1" set="$2" mode="$3" t0 t1 n
  n=$(wc -l <"$work/$key$set.dns")
  shift 3
  local -a sw
  read -r -a sw <<<"${switches[$key]}"
  case "$mode" in
    undo) sw+=(-undo "$work/$key$set.undo.ldif") ;;
    cont) sw+=(-cont) ;;
  esac
  t0=$(now)
  "$VARNEL" "${sw[@]}" -unsafe -q "$@" <"$work/$key$set.dns" >"$work/$key$set.out" 2>&1 || true
  t1=$(now)
  # One object has no closing summary, only the line of success.
  local success="Successful    : $n\$"
  [ "$n" -ne 1 ] || success="^The command completed successfully\.\$"
  grep -q "$success" "$work/$key$set.out" ||
    { cat "$work/$key$set.out" >&2; echo "varnel ${switches[$key]} ($set set) did not succeed on all $n objects" >&2; exit 1; }
  elapsed "$t0" "$t1"
}

# The floor: the run's own -whatif LDIF for the floor set, then that plan sent
# by one serial ldapmodify process on loopback (only that is timed).
floor_run() {  # key set
  local key="$1" set="$2" t0 t1 records
  local plan="$work/$key$set.plan.ldif"
  local -a sw
  read -r -a sw <<<"${switches[$key]}"
  "$VARNEL" -whatif "${sw[@]}" -cont -unsafe -q <"$work/$key$set.dns" >"$plan" 2>"$work/$key$set.plan.err" || true
  records=$(grep -c '^dn: ' "$plan" || true)
  if ! grep -q "^# Successful    : $N\$" "$plan" || [ "$records" -ne "$N" ]; then
    cat "$plan" "$work/$key$set.plan.err" >&2
    echo "varnel -whatif ${switches[$key]} did not plan all $N objects ($records records)" >&2
    exit 1
  fi
  t0=$(now)
  ldapmodify "${LDAP[@]}" -f "$plan" >/dev/null
  t1=$(now)
  elapsed "$t0" "$t1"
}

# A mail-enable run leaves its objects among the organisation's recipients,
# and each later mail-enable costs the directory more for every one already
# there (about a tenth more per thousand in the sandbox): without a reset the
# action's runs would get slower in the order they run, floor first. So its
# objects are cleared again after each timed run, untimed, and every run
# meets the organisation as the first did.
settle() {  # key set
  [ "$1" = me ] || return 0
  "$VARNEL" -clear -cont -unsafe -q <"$work/$1$2.dns" >/dev/null 2>&1 || true
}

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(uname -sr)"
echo "Preparing $((${#keys[@]} * (${#sets[@]} * N + ${#solo_sets[@]}))) objects in $ou ..."
ldapdelete "${LDAP[@]}" -r "$ou" >/dev/null 2>&1 || true
{
  printf 'dn: %s\nchangetype: add\nobjectClass: organizationalUnit\n\n' "$ou"
  for key in "${keys[@]}"; do
    for set in "${sets[@]}"; do
      for i in $(seq -f '%05g' 1 "$N"); do
        object_ldif "$key $set-$i" "vb$tag$key$set$i" "${kind[$key]}"
      done
    done
    for set in "${solo_sets[@]}"; do object_ldif "$key $set" "vb$tag$key$set" "${kind[$key]}"; done
  done
} >"$work/add.ldif"
t0=$(now)
ldapmodify "${LDAP[@]}" -f "$work/add.ldif" >/dev/null
t1=$(now)
echo "  made in $(elapsed "$t0" "$t1") s"
for key in "${keys[@]}"; do
  for set in "${sets[@]}"; do
    seq -f "CN=$key $set-%05g,$ou" 1 "$N" >"$work/$key$set.dns"
  done
  for set in "${solo_sets[@]}"; do echo "CN=$key $set,$ou" >"$work/$key$set.dns"; done
done

python=$(command -v python3)
"$python" bench/delay_relay.py 127.0.0.1 389 "$WAN_DELAY_MS" >"$work/relay.port" &
relay=$!
for _ in $(seq 50); do [ -s "$work/relay.port" ] && break; sleep 0.1; done
relay_port=$(head -n 1 "$work/relay.port")
[ -n "$relay_port" ] || { echo "the delay relay did not start" >&2; exit 1; }

declare -A floor_all loop_all relay_all floor_s loop_s relay_s solo_all solo_s
for round in $(seq 1 "$ROUNDS"); do
  for key in "${keys[@]}"; do
    echo "  round $round of $ROUNDS: ${switches[$key]} ..."
    t=$(floor_run "$key" "F$round")
    floor_all[$key]+=" $t"
    settle "$key" "F$round"
    for mode in "${modes[@]}"; do
      t=$(varnel_run "$key" "L$mode$round" "$mode")
      loop_all[$key.$mode]+=" $t"
      settle "$key" "L$mode$round"
      t=$(varnel_run "$key" "R$mode$round" "$mode" -h "localhost:$relay_port")
      relay_all[$key.$mode]+=" $t"
      settle "$key" "R$mode$round"
      # What the relay adds to a run of one object.
      solo_loop=$(varnel_run "$key" "1L$mode$round" "$mode")
      settle "$key" "1L$mode$round"
      solo_relay=$(varnel_run "$key" "1R$mode$round" "$mode" -h "localhost:$relay_port")
      settle "$key" "1R$mode$round"
      solo_all[$key.$mode]+=" $(elapsed "$solo_loop" "$solo_relay")"
    done
  done
done
for key in "${keys[@]}"; do
  # shellcheck disable=SC2086 # the lists are words of numbers
  floor_s[$key]=$(median ${floor_all[$key]})
  for mode in "${modes[@]}"; do
    # shellcheck disable=SC2086
    loop_s[$key.$mode]=$(median ${loop_all[$key.$mode]})
    # shellcheck disable=SC2086
    relay_s[$key.$mode]=$(median ${relay_all[$key.$mode]})
    # shellcheck disable=SC2086
    solo_s[$key.$mode]=$(median ${solo_all[$key.$mode]})
  done
done
kill "$relay" 2>/dev/null || true
wait "$relay" 2>/dev/null || true
relay=

echo
echo "$N objects per run; relay adds $WAN_DELAY_MS ms each way; varnel with -unsafe -q in each mode;"
echo "floor = the run's own -whatif LDIF applied by one serial ldapmodify on loopback"
[ "$ROUNDS" -eq 1 ] || echo "seconds are the median of $ROUNDS rounds, ratios those of the medians"
echo "bound = (loopback + what the relay adds to a run of one object) / loopback: the least rel/loop"
row='%-36s %-8s %9s %9s %8s %6s %9s %8s  %s\n'
# shellcheck disable=SC2059 # the format is the table's, kept in one place
printf "$row" "action" "mode" "loopback" "relay" "rel/loop" "bound" "floor" "loop/fl" "targets"
# shellcheck disable=SC2059
printf "$row" "" "" "s" "s" "<=$RELAY_TARGET" "" "s" "<=$FLOOR_TARGET" ""
missed=0
rows=0
beyond=0
for key in "${keys[@]}"; do
 for mode in "${modes[@]}"; do
  rows=$((rows + 1))
  r_relay=$(ratio "${relay_s[$key.$mode]}" "${loop_s[$key.$mode]}")
  r_floor=$(ratio "${loop_s[$key.$mode]}" "${floor_s[$key]}")
  r_bound=$(awk -v l="${loop_s[$key.$mode]}" -v s="${solo_s[$key.$mode]}" 'BEGIN { printf "%.2f", (l + s) / l }')
  within "$r_bound" "$RELAY_TARGET" || beyond=$((beyond + 1))
  verdict=met
  within "$r_relay" "$RELAY_TARGET" || verdict="missed: relay"
  if ! within "$r_floor" "$FLOOR_TARGET"; then
    if [ "$verdict" = met ]; then verdict="missed: floor"; else verdict="$verdict, floor"; fi
  fi
  [ "$verdict" = met ] || missed=$((missed + 1))
  # shellcheck disable=SC2059
  printf "$row" "${switches[$key]}" "$mode" "$(printf '%.2f' "${loop_s[$key.$mode]}")" \
    "$(printf '%.2f' "${relay_s[$key.$mode]}")" "$r_relay" "$r_bound" "$(printf '%.2f' "${floor_s[$key]}")" \
    "$r_floor" "$verdict"
 done
done
echo "targets: relay/loopback <= $RELAY_TARGET, loopback/floor <= $FLOOR_TARGET;" \
  "$((rows - missed)) of $rows action and mode rows meet both;" \
  "in $beyond the round trips of one object alone put the bound above $RELAY_TARGET"

# The shell loop: look each object up, then modify it, one process each (on
# the floor's -upd objects, which nothing times any more).
head -n "$SAMPLE" "$work/uhF1.dns" >"$work/sample.dns"
t0=$(now)
while read -r dn; do
  ldapsearch "${LDAP[@]}" -LLL -b "$dn" -s base "(objectClass=*)" 1.1 >/dev/null
  printf 'dn: %s\nchangetype: modify\nreplace: mDBStorageQuota\nmDBStorageQuota: 10240\n-\n' "$dn" |
    ldapmodify "${LDAP[@]}" >/dev/null
done <"$work/sample.dns"
t1=$(now)
loop=$(elapsed "$t0" "$t1")
per_loop=$(awk -v t="$loop" -v n="$SAMPLE" 'BEGIN { print t / n }')
per_varnel=$(awk -v t="${loop_s[uh.${modes[0]}]}" -v n="$N" 'BEGIN { print t / n }')
echo
echo "shell loop ldapsearch+ldapmodify per DN: $SAMPLE objects in $loop s;" \
  "per object $(ratio "$per_loop" "$per_varnel") times varnel ${switches[uh]} on loopback (target >= 10)"

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
