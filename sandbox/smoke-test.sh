#!/usr/bin/env bash
# Smoke test of the varnel sandbox directory. Builds a sandbox from nothing in a temporary state
# folder, exercises it and removes it again.
#
#   sandbox/smoke-test.sh [--keep]
#
# --keep leaves the temporary state folder (and the running DC) behind for a closer look.
# Needs root and free ports 88/389/464/3268/53/135 on 127.0.0.1 (stop any other sandbox first).
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
SANDBOX="$HERE/varnel-sandbox"
KEEP=0
[ "${1:-}" = "--keep" ] && KEEP=1

FAILED=0
PASSED=0
pass() { PASSED=$((PASSED + 1)); printf 'PASS  %s\n' "$*"; }
fail() { FAILED=$((FAILED + 1)); printf 'FAIL  %s\n' "$*"; }
info() { printf '      %s\n' "$*"; }
check() { # description command...
  local what="$1"; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
now_ms() { date +%s%3N; }
secs() { local ms=$1; printf '%d.%03d' $((ms / 1000)) $((ms % 1000)); }

[ "$(id -u)" -eq 0 ] || { echo "smoke-test: needs root" >&2; exit 2; }
if timeout 2 bash -c 'exec 3<>/dev/tcp/127.0.0.1/389' 2>/dev/null; then
  echo "smoke-test: port 389 on 127.0.0.1 is in use; stop the other sandbox first (varnel-sandbox stop)" >&2
  exit 2
fi

WORK="$(mktemp -d /tmp/varnel-smoke.XXXXXX)"
export VARNEL_SANDBOX_STATE="$WORK/state"
unset VARNEL_SANDBOX_DATA
cleanup() {
  if [ "$KEEP" -eq 1 ]; then
    echo "kept: VARNEL_SANDBOX_STATE=$VARNEL_SANDBOX_STATE"
  else
    "$SANDBOX" destroy >/dev/null 2>&1
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT

sb() { "$SANDBOX" "$@"; }
# LDAP tools as the administrator or as the ordinary user, with exactly the printed environment.
as_admin() { sb exec -- "$@"; }
as_user() { sb exec --user -- "$@"; }

MARKER="$WORK/marker"
touch "$MARKER"
sleep 1

# ------------------------------------------------------------------ start from nothing
t0=$(now_ms)
if sb start; then
  T_FRESH=$(( $(now_ms) - t0 ))
  pass "start from nothing ($(secs $T_FRESH)s)"
  if [ "$T_FRESH" -lt 60000 ]; then pass "start from nothing takes under a minute"; else fail "start from nothing took $(secs $T_FRESH)s"; fi
else
  fail "start from nothing"
  exit 1
fi

eval "$(sb env)"
check "env names the private krb5.conf" test "$KRB5_CONFIG" = "$VARNEL_SANDBOX_STATE/krb5.conf"
check "krb5.conf has the KDC on 127.0.0.1" grep -q "kdc = 127.0.0.1:88" "$KRB5_CONFIG"

# ------------------------------------------------------------------ binds with each ticket
for mech in GSS-SPNEGO GSSAPI; do
  out="$(as_admin ldapsearch -Y "$mech" -LLL -s base -b "" dnsHostName 2>&1)"
  if grep -q "^dnsHostName: dc1.varnel.test$" <<<"$out"; then
    pass "$mech bind as Administrator; RootDSE dnsHostName is dc1.varnel.test"
  else
    fail "$mech bind as Administrator: $out"
  fi
  ssf="$(sed -n 's/^SASL SSF: //p' <<<"$out")"
  if [ -n "$ssf" ] && [ "$ssf" -ge 56 ]; then pass "$mech session is sealed (SSF $ssf)"; else fail "$mech session not sealed (SSF '${ssf}')"; fi
  out="$(as_user ldapsearch -Y "$mech" -LLL -b "CN=vuser,CN=Users,DC=varnel,DC=test" -s base sAMAccountName 2>&1)"
  if grep -q "SASL username: vuser@VARNEL.TEST" <<<"$out" && grep -q "^sAMAccountName: vuser$" <<<"$out"; then
    pass "$mech bind as vuser"
  else
    fail "$mech bind as vuser: $out"
  fi
done
out="$(as_admin ldapsearch -Y GSSAPI -O maxssf=0 -LLL -s base -b "" dnsHostName 2>&1)"
if grep -qi "strong" <<<"$out"; then
  pass "the DC refuses a Kerberos bind without signing or sealing over plain LDAP"
else
  fail "an unprotected bind was not refused: $out"
fi
# LDAPS: the printed LDAPTLS_CACERT checks the certificate met at localhost; no SASL layer inside TLS.
out="$(as_admin ldapsearch -Y GSS-SPNEGO -O maxssf=0 -H ldaps://localhost -LLL -s base -b "" dnsHostName 2>&1)"
if grep -q "^dnsHostName: dc1.varnel.test$" <<<"$out" && grep -q "^SASL SSF: 0$" <<<"$out"; then
  pass "GSS-SPNEGO bind over ldaps://localhost without a SASL layer (certificate checked)"
else
  fail "ldaps://localhost bind: $out"
fi

# ------------------------------------------------------------------ DNS
# The DC's DNS: the site's locator record names the DC, and a client that resolves through it
# binds to the DC by that name (its address record and its ldap/ service principal name).
out="$(/usr/bin/python3 -c 'import dns.resolver
r = dns.resolver.Resolver(configure=False); r.nameservers = ["127.0.0.1"]
for a in r.resolve("_ldap._tcp.Default-First-Site-Name._sites.dc._msdcs.varnel.test", "SRV"): print(a.to_text())' 2>&1)"
check "the site's SRV record on 127.0.0.1:53 names dc1.varnel.test:389 ($out)" test "$out" = "0 100 389 dc1.varnel.test."
out="$(as_admin "$HERE/with-domain-dns" ldapsearch -Y GSS-SPNEGO -H ldap://dc1.varnel.test -LLL -s base -b "" dnsHostName 2>&1)"
if grep -q "^dnsHostName: dc1.varnel.test$" <<<"$out"; then
  pass "GSS-SPNEGO bind to ldap://dc1.varnel.test through the DC's DNS (with-domain-dns)"
else
  fail "bind to ldap://dc1.varnel.test through the DC's DNS: $out"
fi
out="$(as_admin ldapsearch -Y GSS-SPNEGO -H ldaps://localhost -LLL -s base -b "" dnsHostName 2>&1)"
if grep -q "not allowed if TLS is used" <<<"$out"; then
  pass "the DC refuses signing or sealing inside TLS"
else
  fail "a SASL layer inside TLS was not refused: $out"
fi

# ------------------------------------------------------------------ schema
NAMES="altRecipient authOrig autoReplyMessage delivContLength deliverAndRedirect deliveryMechanism
delivExtContTypes dLMemDefault dLMemRejectPerms dLMemSubmitPerms dnQualifier enabledProtocols expirationTime
extensionData folderPathname formData forwardingAddress garbageCollPeriod homeMTA importedFrom internetEncoding
labeledURI language languageCode legacyExchangeDN mail mailNickname mAPIRecipient msExchCustomProxyAddresses
msExchExpansionServerName msExchFBURL msExchMailboxSecurityDescriptor msExchMasterAccountSid
msExchPoliciesExcluded msExchPoliciesIncluded msExchPolicyEnabled msExchPolicyOptionList
msExchPreviousAccountSid msExchProxyCustomProxy msExchRecipLimit msExchUserAccountControl pOPCharacterSet
pOPContentFormat protocolSettings publicDelegates replicationSensitivity secretary securityProtocol
submissionContLength targetAddress textEncodedORAddress unauthOrig heuristics msExchADCGlobalNames
msExchALObjectVersion msExchHideFromAddressLists msExchInconsistentState msExchUnmergedAttsPt
replicatedObjectVersion replicationSignature showInAddressBook unmergedAtts extensionAttribute1
extensionAttribute10 extensionAttribute11 extensionAttribute12 extensionAttribute13 extensionAttribute14
extensionAttribute15 extensionAttribute2 extensionAttribute3 extensionAttribute4 extensionAttribute5
extensionAttribute6 extensionAttribute7 extensionAttribute8 extensionAttribute9 autoReply deletedItemFlags
homeMDB mDBOverHardQuotaLimit mDBOverQuotaLimit mDBStorageQuota mDBUseDefaults msExchHomeServerName
msExchMailboxGuid msExchMailboxUrl msExchPfRootUrl msExchUseOAB proxyAddresses reportToOriginator"
read -r -d '' -a ATTRS <<<"$NAMES"
check "the recipient attribute list has 91 names" test "${#ATTRS[@]}" -eq 91

schema="$(as_admin ldapsearch -Q -LLL -b "$VARNEL_SANDBOX_SCHEMA" -s one "(objectClass=attributeSchema)" \
  lDAPDisplayName attributeSyntax isSingleValued 2>/dev/null)"
missing=()
for a in "${ATTRS[@]}" msExchMixedMode; do
  grep -qix "lDAPDisplayName: $a" <<<"$schema" || missing+=("$a")
done
check "all 92 attribute names are in the schema${missing[*]:+ (missing: ${missing[*]})}" test ${#missing[@]} -eq 0

syntax_of() { # name -> "syntax single"
  awk -v n="${1,,}" 'BEGIN{RS=""; IGNORECASE=1} {
    name=""; syn=""; sv="";
    split($0, L, "\n");
    for (i in L) { split(L[i], kv, ": ");
      if (tolower(kv[1])=="ldapdisplayname") name=tolower(kv[2]);
      if (tolower(kv[1])=="attributesyntax") syn=kv[2];
      if (tolower(kv[1])=="issinglevalued") sv=kv[2]; }
    if (name==n) print syn, sv }' <<<"$schema"
}
bad=()
for pair in homeMDB:2.5.5.1 homeMTA:2.5.5.1 msExchMixedMode:2.5.5.8 mDBUseDefaults:2.5.5.8 \
    mDBStorageQuota:2.5.5.9 mailNickname:2.5.5.12 msExchMailboxGuid:2.5.5.10 \
    msExchMailboxSecurityDescriptor:2.5.5.15 msExchMasterAccountSid:2.5.5.17 targetAddress:2.5.5.12 \
    msExchHideFromAddressLists:2.5.5.8 showInAddressBook:2.5.5.1; do
  got="$(syntax_of "${pair%%:*}")"
  [ "${got%% *}" = "${pair#*:}" ] || bad+=("${pair%%:*}=$got")
done
check "attribute syntaxes (DN, Boolean, Integer, Unicode, octet string, SD, SID)${bad[*]:+ (wrong: ${bad[*]})}" test ${#bad[@]} -eq 0

# ------------------------------------------------------------------ configuration objects
count_entries() { grep -c '^dn:' || true; }
out="$(as_admin ldapsearch -Q -LLL -b "$VARNEL_SANDBOX_EXCHANGE" "objectcategory=msExchOrganizationContainer" msExchMixedMode 2>&1)"
if [ "$(count_entries <<<"$out")" -eq 1 ] && grep -q "^msExchMixedMode: FALSE$" <<<"$out"; then
  pass "one organisation container found by objectcategory=msExchOrganizationContainer, native mode"
else
  fail "organisation container search: $out"
fi
for want in msExchExchangeServer:2 msExchStorageGroup:3 msExchPrivateMDB:7 msExchPublicMDB:1 mTA:2 \
    msExchAdminGroup:1 addressBookContainer:2; do
  n="$(as_admin ldapsearch -Q -LLL -b "$VARNEL_SANDBOX_EXCHANGE" "(objectcategory=${want%%:*})" 1.1 2>/dev/null | count_entries)"
  check "(objectcategory=${want%%:*}) finds ${want#*:} (found $n)" test "$n" -eq "${want#*:}"
done
n="$(as_admin ldapsearch -Q -LLL -b "$VARNEL_SANDBOX_EXCHANGE" \
  "(&(objectcategory=msExchPrivateMDB)(name=Mailbox Store \28SRV1\29))" 1.1 2>/dev/null | count_entries)"
check "escaped filter finds the database 'Mailbox Store (SRV1)'" test "$n" -eq 1
n="$(as_admin ldapsearch -Q -LLL -b "$VARNEL_SANDBOX_EXCHANGE" "(&(objectcategory=msExchPrivateMDB)(name=a\2a))" 1.1 2>/dev/null | count_entries)"
check "escaped filter finds the database 'a*' only" test "$n" -eq 1

# ------------------------------------------------------------------ every recipient attribute on a user, a contact and a group
OU="$VARNEL_SANDBOX_USERS"
SD_B64="AQAEgBQAAAAgAAAAAAAAACwAAAABAQAAAAAABQoAAAABAQAAAAAABQoAAAAEABwAAQAAAAAAFAADAAAAAQEAAAAAAAUKAAAA"
SID_B64="AQEAAAAAAAUKAAAA"
value_line() { # attribute -> one LDIF value line
  case "$1" in
    homeMDB) echo "homeMDB: $VARNEL_SANDBOX_MDB" ;;
    homeMTA) echo "homeMTA: CN=Microsoft MTA,CN=SRV1,CN=Servers,$VARNEL_SANDBOX_ADMIN_GROUP" ;;
    showInAddressBook) echo "showInAddressBook: $VARNEL_SANDBOX_GAL" ;;
    msExchUseOAB) echo "msExchUseOAB: CN=Default Offline Address List,CN=Offline Address Lists,CN=Address Lists Container,$VARNEL_SANDBOX_ORG" ;;
    altRecipient | authOrig | dLMemRejectPerms | dLMemSubmitPerms | publicDelegates | secretary | unauthOrig | msExchUnmergedAttsPt)
      echo "$1: CN=Plain User2,$OU" ;;
    deliverAndRedirect | mAPIRecipient | msExchPolicyEnabled | msExchHideFromAddressLists | autoReply | mDBUseDefaults | reportToOriginator)
      echo "$1: TRUE" ;;
    delivContLength | deliveryMechanism | dLMemDefault | enabledProtocols | garbageCollPeriod | internetEncoding | language | \
      languageCode | msExchRecipLimit | msExchUserAccountControl | replicationSensitivity | submissionContLength | heuristics | \
      msExchALObjectVersion | msExchInconsistentState | replicatedObjectVersion | deletedItemFlags | mDBOverHardQuotaLimit | \
      mDBOverQuotaLimit | mDBStorageQuota)
      echo "$1: 1024" ;;
    delivExtContTypes | extensionData | formData | msExchPolicyOptionList | pOPCharacterSet | securityProtocol | \
      replicationSignature | unmergedAtts | msExchMailboxGuid)
      echo "$1:: AAECAwQFBgcICQoLDA0ODw==" ;;
    msExchMailboxSecurityDescriptor) echo "$1:: $SD_B64" ;;
    msExchMasterAccountSid | msExchPreviousAccountSid) echo "$1:: $SID_B64" ;;
    expirationTime) echo "$1: 301231000000Z" ;;
    dnQualifier) echo "$1: q1" ;;
    mail) echo "mail: smoke@varnel.test" ;;
    proxyAddresses) echo "proxyAddresses: SMTP:smoke@varnel.test" ;;
    *) echo "$1: smoke value" ;;
  esac
}
for obj in "CN=Plain User1" "CN=Plain Contact" "CN=Plain Group"; do
  dn="$obj,$OU"
  {
    echo "dn: $dn"
    echo "changetype: modify"
    for a in "${ATTRS[@]}"; do echo "replace: $a"; value_line "$a"; echo "-"; done
  } >"$WORK/all.ldif"
  if out="$(as_admin ldapmodify -Q -f "$WORK/all.ldif" 2>&1)"; then
    names="$(as_admin ldapsearch -Q -LLL -b "$dn" -s base "(objectClass=*)" '*' 2>/dev/null |
      sed -n 's/^\([A-Za-z0-9-]*\):.*/\1/p' | tr '[:upper:]' '[:lower:]' | sort -u)"
    absent=()
    for a in "${ATTRS[@]}"; do grep -qx "${a,,}" <<<"$names" || absent+=("$a"); done
    check "Administrator writes all 91 recipient attributes on $obj${absent[*]:+ (not read back: ${absent[*]})}" test ${#absent[@]} -eq 0
  else
    fail "Administrator writes all 91 recipient attributes on $obj: $out"
  fi
  {
    echo "dn: $dn"
    echo "changetype: modify"
    for a in "${ATTRS[@]}"; do echo "delete: $a"; echo "-"; done
  } >"$WORK/clear.ldif"
  if out="$(as_admin ldapmodify -Q -f "$WORK/clear.ldif" 2>&1)"; then
    pass "one modify request removes all 91 again from $obj"
  else
    fail "removing all 91 from $obj: $out"
  fi
done

# ------------------------------------------------------------------ rights
printf 'dn: CN=Plain User2,%s\nchangetype: modify\nreplace: extensionAttribute1\nextensionAttribute1: changed by smoke test\n' "$OU" >"$WORK/w.ldif"
as_admin ldapmodify -Q -f "$WORK/w.ldif" >/dev/null 2>&1
check "a user write as Administrator succeeds" test $? -eq 0
val="$(as_admin ldapsearch -Q -LLL -b "CN=Plain User2,$OU" -s base "(objectClass=*)" extensionAttribute1 2>/dev/null | sed -n 's/^extensionAttribute1: //p')"
check "the written value reads back" test "$val" = "changed by smoke test"
printf 'dn: CN=Plain User1,%s\nchangetype: modify\nreplace: extensionAttribute1\nextensionAttribute1: vuser was here\n' "$OU" >"$WORK/u.ldif"
out="$(as_user ldapmodify -Q -f "$WORK/u.ldif" 2>&1)"
rc=$?
if [ "$rc" -eq 50 ]; then pass "the same write as vuser is refused (insufficient access, 50)"; else fail "vuser write gave $rc: $out"; fi

# ------------------------------------------------------------------ mode switch
mode_value() {
  as_admin ldapsearch -Q -LLL -b "$VARNEL_SANDBOX_ORG" -s base "(objectClass=*)" msExchMixedMode 2>/dev/null |
    sed -n 's/^msExchMixedMode: //p'
}
sb mode mixed; check "mode mixed sets msExchMixedMode TRUE" test "$(mode_value)" = TRUE
sb mode native; check "mode native sets msExchMixedMode FALSE" test "$(mode_value)" = FALSE

# ------------------------------------------------------------------ stop, start again, reuse, reset
t0=$(now_ms); sb stop; T_STOP=$(( $(now_ms) - t0 ))
sb status >/dev/null; rc=$?
check "stop ($(secs $T_STOP)s): status reports not running" test "$rc" -eq 3
if timeout 2 bash -c 'exec 3<>/dev/tcp/127.0.0.1/389' 2>/dev/null; then fail "port 389 still open after stop"; else pass "port 389 closed after stop"; fi

t0=$(now_ms); sb start; rc=$?; T_STOPPED=$(( $(now_ms) - t0 ))
check "start from stopped ($(secs $T_STOPPED)s)" test "$rc" -eq 0
val="$(as_admin ldapsearch -Q -LLL -b "CN=Plain User2,$OU" -s base "(objectClass=*)" extensionAttribute1 2>/dev/null | sed -n 's/^extensionAttribute1: //p')"
check "changes survive stop and start" test "$val" = "changed by smoke test"

t0=$(now_ms); sb start; rc=$?; T_RUNNING=$(( $(now_ms) - t0 ))
check "start while running reuses it ($(secs $T_RUNNING)s)" test "$rc" -eq 0
t0=$(now_ms); sb start --mixed; rc=$?
check "start --mixed on the running DC switches to mixed mode" test "$rc" -eq 0 -a "$(mode_value)" = TRUE

t0=$(now_ms); sb reset; rc=$?; T_RESET=$(( $(now_ms) - t0 ))
check "reset ($(secs $T_RESET)s)" test "$rc" -eq 0
val="$(as_admin ldapsearch -Q -LLL -b "CN=Plain User2,$OU" -s base "(objectClass=*)" extensionAttribute1 2>/dev/null | sed -n 's/^extensionAttribute1: //p')"
check "reset restores the pristine directory" test -z "$val"
check "reset restores native mode" test "$(mode_value)" = FALSE
out="$(as_user ldapsearch -Y GSS-SPNEGO -LLL -s base -b "" dnsHostName 2>&1)"
check "vuser ticket still works after reset" grep -q "^dnsHostName: dc1.varnel.test$" <<<"$out"

# ------------------------------------------------------------------ nothing written outside the state folder
outside="$(find /etc/samba /etc/krb5.conf /etc/hosts /var/lib/samba /var/cache/samba /var/log/samba /run/samba \
  -newer "$MARKER" 2>/dev/null | head -n 20)"
check "nothing written to /etc, /var/lib/samba, /var/cache/samba, /var/log/samba, /run/samba${outside:+ ($outside)}" test -z "$outside"

printf '\ntimings: from nothing %ss, stop %ss, from stopped %ss, already running %ss, reset %ss\n' \
  "$(secs $T_FRESH)" "$(secs $T_STOP)" "$(secs $T_STOPPED)" "$(secs $T_RUNNING)" "$(secs $T_RESET)"
printf '%d passed, %d failed\n' "$PASSED" "$FAILED"
[ "$FAILED" -eq 0 ]
