#!/usr/bin/env bash
# Builds the Debian package, installs it (over any installed copy) and tries
# what it installed:
#   - the package: file name, control fields, every library the binary needs
#     covered by Depends, the file list, the changelog, one version and one
#     date in the changelog and both manual pages, lintian without an error
#     or a warning;
#   - the installed files: the same bytes as in the package, varnel /? from
#     /usr/bin, the manual pages, the bash completion (its switches against
#     src/cli/switch_specs.h);
#   - varnel-sandbox from /usr/bin with its data from /usr/share/varnel: the
#     default state folder, then a sandbox of its own, provisioned from the
#     installed data in a temporary state folder, with varnel jobs run through
#     "varnel-sandbox exec" and their changes read back with ldapsearch; the
#     last one names no server and finds the DC through the DNS the sandbox
#     serves (sandbox/with-domain-dns of this tree gives it that DNS).
#
# The sandbox binds 127.0.0.1 ports 389, 636, 88, 464, 3268, 53 and 135, so only one can run
# per network namespace. The check runs its sandbox in a private network
# namespace (unshare --net), where a sandbox that is already running (such as
# the repository's, which the tests use) is neither seen nor disturbed. Where
# namespaces are not allowed it uses the machine's ports; when the
# repository's sandbox holds them, that one is stopped for the check and
# started again afterwards.
#
# usage: scripts/package-check.sh [--remove]
#   --remove   remove the package again at the end (default: it stays installed)
#
# The jobs alone, against the varnel already installed (a state folder that
# does not exist yet; "locate" runs only the job that finds the DC):
#   unshare --net -- bash scripts/package-check.sh --sandbox-job /tmp/pc-state netns [locate]
#
# Needs root (it installs the package). Can be run again at any time; every
# run rebuilds build-pkg/, reinstalls the package and starts from a fresh
# sandbox state folder, which it removes at the end.
set -euo pipefail

say() { printf 'package-check: %s\n' "$*"; }
fail() {
  printf 'package-check: FAILED: %s\n' "$*" >&2
  exit 1
}
now_ms() { date +%s%3N; }
elapsed() {
  local ms=$(($(now_ms) - $1))
  printf '%d.%01ds' $((ms / 1000)) $((ms % 1000 / 100))
}
# Shows a captured output file after a failure (at most its last 40 lines).
show() {
  local f
  for f in "$@"; do
    [ -s "$f" ] || continue
    printf -- '--- %s (last lines)\n' "${f##*/}" >&2
    tail -n 40 "$f" >&2
  done
}

readonly SANDBOX_BIN=/usr/bin/varnel-sandbox
readonly VARNEL_BIN=/usr/bin/varnel
readonly DATA_DIR=/usr/share/varnel
readonly USERS_OU="OU=Varnel,DC=varnel,DC=test"

# ---------------------------------------------------------------- sandbox job
#
# Runs inside the private network namespace (or on the machine's ports): starts
# a sandbox from the installed files in the state folder $1, runs the jobs and
# removes the sandbox again. $2 is "netns" when a fresh namespace must get its
# loopback interface up first.

loopback_up() {
  if command -v ip >/dev/null 2>&1; then
    ip link set lo up
  else
    # Without iproute2: SIOCGIFFLAGS/SIOCSIFFLAGS through python3, which the
    # sandbox's Samba needs anyway.
    python3 - <<'PYEOF'
import fcntl, socket, struct
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
req = struct.pack("16sH14x", b"lo", 0)
flags = struct.unpack("16sH14x", fcntl.ioctl(s, 0x8913, req))[1]
fcntl.ioctl(s, 0x8914, struct.pack("16sH14x", b"lo", flags | 1))
PYEOF
  fi
}

sandbox_job() {
  local state="$1" mode="$2" only="${3:-}" out="$1.out" err="$1.err" envfile="$1.env" t0 rc
  [ "$mode" != netns ] || loopback_up || fail "cannot bring up the loopback interface of the private network namespace"

  # The installed script, nothing from the repository: data only from its own
  # search path, state in the given folder.
  local -a sb=(env -u VARNEL_SANDBOX_DATA VARNEL_SANDBOX_STATE="$state" "$SANDBOX_BIN")

  t0=$(now_ms)
  if ! "${sb[@]}" start >"$out" 2>"$err"; then
    show "$out" "$err" "$state/provision.log"
    fail "installed varnel-sandbox start (data from $DATA_DIR, state $state) failed"
  fi
  say "  sandbox provisioned from $DATA_DIR and started in $(elapsed "$t0")"

  rc=0
  "${sb[@]}" status >"$out" 2>"$err" || rc=$?
  { [ "$rc" -eq 0 ] && grep -q '^running: *yes' "$out"; } ||
    { show "$out" "$err"; fail "installed varnel-sandbox status: exit $rc, expected 0 and 'running: yes'"; }
  "${sb[@]}" env >"$envfile" 2>"$err" || { show "$envfile" "$err"; fail "installed varnel-sandbox env failed"; }
  { grep -qxF "export VARNEL_SANDBOX_STATE='$state'" "$envfile" && grep -qxF "export KRB5_CONFIG='$state/krb5.conf'" "$envfile"; } ||
    { show "$envfile"; fail "installed varnel-sandbox env does not name the state folder $state"; }

  # One attribute's values, read with ldapsearch as the administrator.
  read_attr() {
    "${sb[@]}" exec -- ldapsearch -LLL -o ldif-wrap=no -s base -b "$1" '(objectClass=*)' "$2" 2>"$err" |
      awk -v a="$(tr '[:upper:]' '[:lower:]' <<<"$2")" '{
        n = index($0, ": "); if (n == 0) next
        k = tolower(substr($0, 1, n - 1)); sub(/:$/, "", k)  # "name:: base64" for binary values
        if (k == a) print substr($0, n + 2) }'
  }
  expect_attr() {  # dn attribute expected-value ("" for absent) context
    local got
    got="$(read_attr "$1" "$2")" || { show "$err"; fail "$4: ldapsearch of ${1%%,*} failed"; }
    [ "$got" = "$3" ] || fail "$4: $2 of ${1%%,*} is '${got}', expected '${3}'"
  }
  # varnel through "varnel-sandbox exec"; $1 is --admin or --user, the rest are
  # varnel's arguments; standard input is passed on.
  run_varnel() {
    local who="$1"
    shift
    rc=0
    "${sb[@]}" exec "$who" -- "$VARNEL_BIN" "$@" >"$out" 2>"$err" || rc=$?
  }

  if [ "$only" = locate ]; then
    locate_job
  else
    other_jobs
    locate_job
  fi

  "${sb[@]}" destroy >"$out" 2>"$err" || { show "$out" "$err"; fail "installed varnel-sandbox destroy failed"; }
  [ ! -e "$state" ] || fail "installed varnel-sandbox destroy left $state behind"
  rm -f "$out" "$err" "$envfile"
}

other_jobs() {
  local quota_dn="CN=Quota User,$USERS_OU"
  expect_attr "$quota_dn" mDBStorageQuota 102400 "sample organisation before the jobs"
  expect_attr "$quota_dn" msExchHideFromAddressLists "" "sample organisation before the jobs"
  [ -n "$(read_attr "$quota_dn" showInAddressBook)" ] ||
    fail "sample organisation before the jobs: ${quota_dn%%,*} is in no address list"

  # Job 1: one DN with -b, new quotas and hidden from the address lists.
  run_varnel --admin -upd -b "$quota_dn" -quota 150:250:350 -hfal </dev/null
  { [ "$rc" -eq 0 ] && grep -qF 'The command completed successfully.' "$out"; } ||
    { show "$out" "$err"; fail "varnel -upd -b ... -quota 150:250:350 -hfal: exit $rc, expected 0 and success"; }
  expect_attr "$quota_dn" mDBStorageQuota 153600 "after -upd -quota 150:250:350"
  expect_attr "$quota_dn" mDBOverQuotaLimit 256000 "after -upd -quota 150:250:350"
  expect_attr "$quota_dn" mDBOverHardQuotaLimit 358400 "after -upd -quota 150:250:350"
  expect_attr "$quota_dn" mDBUseDefaults FALSE "after -upd -quota 150:250:350"
  expect_attr "$quota_dn" msExchHideFromAddressLists TRUE "after -upd -hfal"
  expect_attr "$quota_dn" showInAddressBook "" "after -upd -hfal"
  say "  varnel -upd -b ... -quota 150:250:350 -hfal: quotas and hiding read back"

  # Job 2: DNs on standard input, mailboxes created in Server:SG:DB.
  local mdb user1="CN=Plain User1,$USERS_OU" user2="CN=Plain User2,$USERS_OU"
  mdb="$(sed -n "s/^export VARNEL_SANDBOX_MDB='\(.*\)'$/\1/p" "$envfile")"
  [ -n "$mdb" ] || { show "$envfile"; fail "installed varnel-sandbox env prints no VARNEL_SANDBOX_MDB"; }
  expect_attr "$user1" homeMDB "" "sample organisation before the jobs"
  expect_attr "$user2" homeMDB "" "sample organisation before the jobs"
  run_varnel --admin -cr SRV1:SG1:DB1 <<<"$user1
$user2"
  { [ "$rc" -eq 0 ] && grep -q '^Successful *: 2$' "$out"; } ||
    { show "$out" "$err"; fail "two DNs on standard input to varnel -cr SRV1:SG1:DB1: exit $rc, expected 0 and 2 successful"; }
  expect_attr "$user1" homeMDB "$mdb" "after -cr SRV1:SG1:DB1"
  expect_attr "$user2" homeMDB "$mdb" "after -cr SRV1:SG1:DB1"
  [ -n "$(read_attr "$user1" msExchMailboxGuid)" ] || fail "after -cr SRV1:SG1:DB1: ${user1%%,*} has no msExchMailboxGuid"
  say "  DNs on standard input to varnel -cr SRV1:SG1:DB1: both mailboxes read back"

  # Job 3: the ordinary user's ticket may not write: refused, nothing changed.
  local mailbox1="CN=Mailbox User1,$USERS_OU"
  expect_attr "$mailbox1" msExchHideFromAddressLists "" "sample organisation before the jobs"
  run_varnel --user -upd -b "$mailbox1" -hfal </dev/null
  [ "$rc" -eq 50 ] ||
    { show "$out" "$err"; fail "varnel -upd -hfal with the ordinary user's ticket: exit $rc, expected 50 (insufficient access)"; }
  expect_attr "$mailbox1" msExchHideFromAddressLists "" "after the refused -upd -hfal"
  say "  varnel -upd -hfal with the ordinary user's ticket: refused with 50, nothing changed"
}

# No server named (no -h, no LDAPURI or LDAPHOST, no ldap.conf or ldaprc that names one):
# varnel finds the DC through the SRV records of the domain, in the DNS the sandbox's DC serves,
# and binds to it by its DNS name. A ticket cache of the job's own shows the service ticket it
# asked for: ldap/<the DC's DNS name>; the name libldap falls back on would have given
# ldap/localhost.
locate_job() {
  local dn="CN=Mailbox User2,$USERS_OU" cache="$state/locate.ccache" dc_name admin tickets
  local wrapper
  wrapper="$(cd "$(dirname "$0")/.." && pwd)/sandbox/with-domain-dns"
  if ! unshare --mount --propagation private -- true 2>/dev/null; then
    say "  SKIPPED: finding the DC through DNS (no mount namespace here for a private resolv.conf)"
    return 0
  fi
  if grep -qiE '^[[:space:]]*(URI|HOST)[[:space:]]' /etc/ldap/ldap.conf 2>/dev/null; then
    fail "/etc/ldap/ldap.conf names a server; the run that finds the DC through DNS needs one that names none"
  fi
  dc_name="$(sed -n "s/^export VARNEL_SANDBOX_DNSHOSTNAME='\(.*\)'$/\1/p" "$envfile")"
  admin="$(sed -n "s/^export VARNEL_SANDBOX_ADMIN='\(.*\)'$/\1/p" "$envfile")"
  { [ -n "$dc_name" ] && [ -n "$admin" ]; } ||
    { show "$envfile"; fail "installed varnel-sandbox env prints no VARNEL_SANDBOX_DNSHOSTNAME or VARNEL_SANDBOX_ADMIN"; }
  expect_attr "$dn" msExchHideFromAddressLists "" "sample organisation before the jobs"
  "${sb[@]}" exec -- kinit -k -t "$state/admin.keytab" -c "FILE:$cache" "$admin" >"$out" 2>"$err" ||
    { show "$out" "$err"; fail "kinit $admin into a ticket cache of its own failed"; }
  rc=0
  (cd / && "${sb[@]}" exec --admin -- env -u LDAPURI -u LDAPHOST -u LDAPCONF -u LDAPRC HOME=/nonexistent \
    KRB5CCNAME="FILE:$cache" bash "$wrapper" "$VARNEL_BIN" -upd -b "$dn" -hfal) </dev/null >"$out" 2>"$err" || rc=$?
  { [ "$rc" -eq 0 ] && grep -qxF "Using server: $dc_name" "$out" && grep -qF 'The command completed successfully.' "$out"; } ||
    { show "$out" "$err"; fail "varnel -upd -b ... -hfal without a server, through the sandbox's DNS: exit $rc, expected 0, 'Using server: $dc_name' and success"; }
  expect_attr "$dn" msExchHideFromAddressLists TRUE "after -upd -hfal without a server"
  tickets="$("${sb[@]}" exec -- klist -c "FILE:$cache" 2>"$err")" || { show "$err"; fail "klist of the job's ticket cache failed"; }
  { grep -qF " ldap/$dc_name@" <<<"$tickets" && ! grep -qF " ldap/localhost@" <<<"$tickets"; } ||
    { printf '%s\n' "$tickets" >&2; fail "without a server varnel did not bind to ldap/$dc_name alone (tickets above)"; }
  say "  varnel -upd -hfal without a server: found $dc_name through the sandbox's DNS, bound by that name"
}

if [ "${1:-}" = --sandbox-job ]; then
  # Whatever happens, no DC is left running in the namespace (the caller's clean-up cannot reach
  # it when the job runs on its own).
  job_state="$2"
  trap 'VARNEL_SANDBOX_STATE="$job_state" "$SANDBOX_BIN" destroy >/dev/null 2>&1 || true
    rm -f "$job_state.out" "$job_state.err" "$job_state.env"' EXIT
  sandbox_job "$2" "$3" "${4:-}"
  exit 0
fi

# ---------------------------------------------------------------- main

REMOVE=0
while [ $# -gt 0 ]; do
  case "$1" in
    --remove) REMOVE=1 ;;
    -h | --help)
      sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
      exit 0
      ;;
    *) fail "unknown argument '$1' (see --help)" ;;
  esac
  shift
done

[ "$(id -u)" -eq 0 ] || fail "needs root: it installs the package with apt-get"
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
BUILD="$ROOT/build-pkg"
T_START=$(now_ms)
WORK="$(mktemp -d /tmp/varnel-package-check.XXXXXX)"
STATE=""
RESTART_REPO_SANDBOX=0

cleanup() {
  local rc=$?
  if [ -n "$STATE" ] && [ -d "$STATE" ]; then
    VARNEL_SANDBOX_STATE="$STATE" "$SANDBOX_BIN" destroy >/dev/null 2>&1 || rm -rf "$STATE"
  fi
  rm -rf "$WORK"
  if [ "$RESTART_REPO_SANDBOX" -eq 1 ]; then
    say "starting the repository's sandbox again"
    bash "$ROOT/sandbox/varnel-sandbox" start >/dev/null 2>&1 ||
      { printf 'package-check: could not start the repository sandbox again (run: sandbox/varnel-sandbox start)\n' >&2; rc=1; }
  fi
  exit "$rc"
}
trap cleanup EXIT

for tool in cmake cpack dpkg-deb dpkg-query apt-get readelf ldd gzip lintian; do
  command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing (run scripts/install-deps.sh)"
done

VERSION="$(sed -n 's/^project(varnel VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$VERSION" ] || fail "no 'project(varnel VERSION x.y.z ...)' line in CMakeLists.txt"
# The package version is the project version and a Debian revision, as the
# changelog's first line names it.
PKG_VERSION="$(sed -n '1s/^varnel (\([^)]*\)) .*/\1/p' packaging/changelog)"
[[ $PKG_VERSION == "$VERSION"-[0-9]* ]] ||
  fail "packaging/changelog starts with version '$PKG_VERSION', expected the project version $VERSION and a Debian revision"
ARCH="$(dpkg --print-architecture)"
DEB_NAME="varnel_${PKG_VERSION}_${ARCH}.deb"
DEB="$BUILD/$DEB_NAME"

# One version and one date: the changelog's newest entry and the .TH lines
# of both manual pages ("Month Year", "Varnel x.y.z").
CHANGELOG_DATE="$(sed -n 's/^ -- .*>  \(.*\)$/\1/p' packaging/changelog | head -n 1)"
MONTH_YEAR="$(LC_ALL=C date -u -d "$CHANGELOG_DATE" '+%B %Y' 2>/dev/null)" ||
  fail "packaging/changelog: no date in its newest trailer line (' -- name <mail>  date')"
for page in docs/varnel.1 packaging/man/varnel-sandbox.1; do
  th="$(grep -m 1 '^\.TH ' "$page")"
  [[ $th == *"\"$MONTH_YEAR\" \"Varnel $VERSION\""* ]] ||
    fail "$page: '$th' does not carry the date \"$MONTH_YEAR\" of the changelog and \"Varnel $VERSION\""
done

# ---------------------------------------------------------------- build

t0=$(now_ms)
say "building $DEB_NAME in build-pkg/ (Release)"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVARNEL_INTEGRATION_TESTS=OFF \
  -DVARNEL_FUZZ=OFF -DVARNEL_SANITIZE=OFF >"$WORK/configure.log" 2>&1 ||
  { show "$WORK/configure.log"; fail "cmake configure of build-pkg failed"; }
cmake --build "$BUILD" -j"$(nproc)" >"$WORK/build.log" 2>&1 ||
  { show "$WORK/build.log"; fail "build of build-pkg failed"; }
rm -f "$BUILD"/varnel_*.deb
(cd "$BUILD" && cpack -G DEB) >"$WORK/cpack.log" 2>&1 || { show "$WORK/cpack.log"; fail "cpack -G DEB failed"; }
[ -f "$DEB" ] || { show "$WORK/cpack.log"; fail "cpack wrote no $DEB_NAME (found: $(find "$BUILD" -maxdepth 1 -name '*.deb' -printf '%f '))"; }
say "  built in $(elapsed "$t0")"

# ---------------------------------------------------------------- the package file

field() { dpkg-deb -f "$DEB" "$1"; }
# The package names of a relation field, one a line, without versions or alternatives' bars.
relation_names() { field "$1" | sed 's/[,|]/\n/g' | sed 's/(.*//; s/:.*//; s/[[:space:]]//g' | sed '/^$/d'; }

[ "$(field Package)" = varnel ] || fail "Package is '$(field Package)', expected 'varnel'"
[ "$(field Version)" = "$PKG_VERSION" ] || fail "Version is '$(field Version)', expected $PKG_VERSION (packaging/changelog)"
[ "$(field Architecture)" = "$ARCH" ] || fail "Architecture is '$(field Architecture)', expected $ARCH"
[ "$(field Section)" = admin ] || fail "Section is '$(field Section)', expected 'admin'"
[ -n "$(field Maintainer)" ] || fail "the package has no Maintainer"
[ -z "$(field Homepage)" ] || fail "the package names a Homepage ($(field Homepage)); it has none"
DEPENDS="$(relation_names Depends)"
for p in libsasl2-modules-gssapi-mit krb5-user; do
  grep -qxF "$p" <<<"$DEPENDS" || fail "Depends lacks $p: $(field Depends)"
done
grep -qxF ldap-utils <<<"$(relation_names Recommends)" || fail "Recommends lacks ldap-utils: $(field Recommends)"
for p in samba samba-ad-dc samba-ad-provision; do
  grep -qxF "$p" <<<"$(relation_names Suggests)" || fail "Suggests lacks $p: $(field Suggests)"
done

# Every library the binary names must come from a package in Depends.
dpkg-deb -x "$DEB" "$WORK/unpacked"
BIN="$WORK/unpacked/usr/bin/varnel"
[ -x "$BIN" ] || fail "the package holds no executable usr/bin/varnel"
mapfile -t NEEDED < <(readelf -d "$BIN" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
[ ${#NEEDED[@]} -gt 0 ] || fail "readelf finds no libraries in usr/bin/varnel"
for lib in "${NEEDED[@]}"; do
  # ldd names the dynamic loader by its path alone, without "=>".
  path="$(ldd "$BIN" | awk -v l="$lib" '$1 == l && $2 == "=>" { print $3; exit }
    $1 ~ "/" && $2 != "=>" { n = split($1, part, "/"); if (part[n] == l) { print $1; exit } }')"
  { [ -n "$path" ] && [ "$path" != "not" ]; } || fail "$lib (needed by varnel) is not found on this system"
  owner=""
  for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr$path"; do
    owner="$(dpkg-query -S "$candidate" 2>/dev/null | head -n 1 | sed 's/[:,].*//')" && [ -n "$owner" ] && break
  done
  [ -n "$owner" ] || fail "no Debian package owns $path ($lib)"
  grep -qxF "$owner" <<<"$DEPENDS" || fail "varnel needs $lib from $owner, which Depends does not name: $(field Depends)"
done

EXPECTED_FILES=(
  usr/bin/varnel
  usr/bin/varnel-sandbox
  usr/share/man/man1/varnel.1.gz
  usr/share/man/man1/varnel-sandbox.1.gz
  usr/share/bash-completion/completions/varnel
  usr/share/bash-completion/completions/varnel-sandbox
  usr/share/varnel/exchange-schema.ldif
  usr/share/varnel/sample-organisation.ldif
  usr/share/varnel/README.md
  usr/share/doc/varnel/copyright
  usr/share/doc/varnel/changelog.Debian.gz
  usr/share/lintian/overrides/varnel
)
dpkg-deb -c "$DEB" >"$WORK/contents"
for f in "${EXPECTED_FILES[@]}"; do
  grep -qE "^-(rwxr-xr-x|rw-r--r--) root/root .* \./$f\$" "$WORK/contents" ||
    { cat "$WORK/contents" >&2; fail "the package lacks ./$f (or not root-owned with mode 755/644)"; }
done
for f in usr/bin/varnel usr/bin/varnel-sandbox; do
  grep -qE "^-rwxr-xr-x .* \./$f\$" "$WORK/contents" || fail "./$f is not executable in the package"
done
if awk '{ print $6 }' "$WORK/contents" | grep -v '^\./usr/' | grep -qv '^\./$'; then
  cat "$WORK/contents" >&2
  fail "the package installs outside /usr"
fi
{ cmp -s "$WORK/unpacked/usr/share/varnel/exchange-schema.ldif" sandbox/exchange-schema.ldif &&
  cmp -s "$WORK/unpacked/usr/share/varnel/sample-organisation.ldif" sandbox/sample-organisation.ldif &&
  cmp -s "$WORK/unpacked/usr/bin/varnel-sandbox" sandbox/varnel-sandbox; } ||
  fail "the packaged sandbox files differ from sandbox/"
zcat "$WORK/unpacked/usr/share/man/man1/varnel.1.gz" | cmp -s - docs/varnel.1 ||
  fail "the packaged varnel.1.gz is not docs/varnel.1"
# The copyright file: packaging/copyright, in Debian's machine-readable format,
# for the whole package under Apache-2.0, whose text the system provides.
COPYRIGHT="$WORK/unpacked/usr/share/doc/varnel/copyright"
cmp -s "$COPYRIGHT" packaging/copyright || fail "the packaged copyright file is not packaging/copyright"
[ "$(head -n 1 "$COPYRIGHT")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
  fail "usr/share/doc/varnel/copyright does not start with the machine-readable Format line"
awk '/^Files: \*$/ { files = 1; next } files && /^License: / { print $2; exit }' "$COPYRIGHT" |
  grep -qxF Apache-2.0 || fail "usr/share/doc/varnel/copyright has no 'Files: *' paragraph under License: Apache-2.0"
{ grep -qF '/usr/share/common-licenses/Apache-2.0' "$COPYRIGHT" && [ -f /usr/share/common-licenses/Apache-2.0 ]; } ||
  fail "usr/share/doc/varnel/copyright does not point at an existing /usr/share/common-licenses/Apache-2.0"
# The changelog as Debian ships it: gzip -9n (no name, no time stamp).
gzip -9 -n -c packaging/changelog | cmp -s - "$WORK/unpacked/usr/share/doc/varnel/changelog.Debian.gz" ||
  fail "usr/share/doc/varnel/changelog.Debian.gz is not packaging/changelog compressed with gzip -9n"
# lintian: every error and warning fails the check (overrides: packaging/lintian).
lintian --fail-on error,warning --display-level '>=warning' "$DEB" >"$WORK/lintian.log" 2>&1 ||
  { cat "$WORK/lintian.log" >&2; fail "lintian reports errors or warnings for $DEB_NAME"; }
say "  package fields, library dependencies, file list, changelog, versions and lintian checked"

# ---------------------------------------------------------------- install

t0=$(now_ms)
before="$(dpkg-query -W -f='${Status} ${Version}' varnel 2>/dev/null || true)"
case "$before" in
  "install ok installed "*) say "installing $DEB_NAME over the installed varnel ${before##* }" ;;
  *) say "installing $DEB_NAME" ;;
esac
export DEBIAN_FRONTEND=noninteractive
apt_install() {
  # --reinstall: a package of the same version is replaced as well.
  apt-get install -y -q --reinstall -o DPkg::Lock::Timeout=300 "$DEB" >"$WORK/apt.log" 2>&1
}
if ! apt_install; then
  # Package lists may be missing or stale on a fresh machine.
  say "  apt-get install failed; updating the package lists and trying again"
  apt-get update -q >>"$WORK/apt.log" 2>&1 || true
  apt_install || { show "$WORK/apt.log"; fail "apt-get install $DEB failed"; }
fi
[ "$(dpkg-query -W -f='${Status} ${Version}' varnel)" = "install ok installed $PKG_VERSION" ] ||
  fail "after the install dpkg reports '$(dpkg-query -W -f='${Status} ${Version}' varnel)'"
# The installed files are those of this package file, byte for byte.
dpkg-deb -I "$DEB" md5sums | sort >"$WORK/md5.deb"
sort /var/lib/dpkg/info/varnel.md5sums >"$WORK/md5.installed"
cmp -s "$WORK/md5.deb" "$WORK/md5.installed" || fail "dpkg's file list of varnel is not the one of $DEB_NAME"
# Where dpkg is told to leave manual pages out (slim container images), they are missing on disk.
MAN_EXCLUDED=0
if grep -rhsE '^path-exclude[[:space:]=]+/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d >/dev/null; then
  MAN_EXCLUDED=1
fi
# dpkg --verify prints one line per file that is missing or changed.
dpkg --verify varnel >"$WORK/verify" 2>&1 || true
if [ "$MAN_EXCLUDED" -eq 1 ]; then sed -i '\| /usr/share/man/|d' "$WORK/verify"; fi
[ ! -s "$WORK/verify" ] || { cat "$WORK/verify" >&2; fail "dpkg --verify varnel reports missing or changed files"; }
for f in "${EXPECTED_FILES[@]}"; do
  if [ "$MAN_EXCLUDED" -eq 1 ] && [[ $f == usr/share/man/* ]]; then continue; fi
  [ -f "/$f" ] || fail "/$f is missing after the install"
done
say "  installed in $(elapsed "$t0"); dpkg --verify clean"

# ---------------------------------------------------------------- installed commands

if ldd "$VARNEL_BIN" | grep -q 'not found'; then ldd "$VARNEL_BIN" >&2; fail "$VARNEL_BIN misses libraries"; fi
found="$(command -v varnel || true)"
[ "$found" = "$VARNEL_BIN" ] || say "  note: 'varnel' on PATH is ${found:-nothing}, not $VARNEL_BIN"

rc=0
"$VARNEL_BIN" '/?' </dev/null >"$WORK/out" 2>"$WORK/err" || rc=$?
[ "$rc" -eq 1 ] || { show "$WORK/out" "$WORK/err"; fail "varnel /? exited $rc, expected 1"; }
[ ! -s "$WORK/out" ] || { show "$WORK/out"; fail "varnel /? printed on standard output; the usage belongs on standard error"; }
{ grep -q '^Usage:' "$WORK/err" && grep -q -- '-quota x:y:z' "$WORK/err" && grep -q -- '-internetencoding' "$WORK/err"; } ||
  { show "$WORK/err"; fail "varnel /? printed no usage text on standard error"; }
rc=0
"$VARNEL_BIN" -NoSuchSwitch </dev/null >"$WORK/out" 2>"$WORK/err" || rc=$?
{ [ "$rc" -eq 1 ] && grep -qF 'ERROR: Bad Command Line Arg(s)' "$WORK/err"; } ||
  { show "$WORK/out" "$WORK/err"; fail "varnel -NoSuchSwitch: exit $rc, expected 1 and the bad-switch error"; }
say "  /usr/bin/varnel /?: exit 1, usage on standard error"

for page in varnel varnel-sandbox; do
  [ "$MAN_EXCLUDED" -eq 0 ] || break
  gzip -t "/usr/share/man/man1/$page.1.gz" || fail "/usr/share/man/man1/$page.1.gz is not a valid gzip file"
  if command -v man >/dev/null 2>&1; then
    where="$(man -w "$page" 2>&1)" || true
    [ "$where" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page gives '$where', expected /usr/share/man/man1/$page.1.gz"
    LC_ALL=C MANWIDTH=80 man "$page" 2>"$WORK/err" | grep -qE "^ +$page +- " ||
      { show "$WORK/err"; fail "man $page does not render its NAME line"; }
  fi
done
if [ "$MAN_EXCLUDED" -eq 1 ]; then
  say "  manual pages: this system's dpkg leaves /usr/share/man out; checked in the package only"
elif command -v man >/dev/null 2>&1; then
  say "  man -w varnel, man -w varnel-sandbox: found and rendered"
else
  say "  manual pages installed and valid (man-db is not installed, man -w skipped)"
fi

# ---------------------------------------------------------------- bash completion

complete_words() {  # completion file, function, words... (the last is completed)
  bash --norc --noprofile -c '
    source "$1" || exit 1
    fn="$2"; shift 2
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    "$fn" || exit 1
    printf "%s\n" "${COMPREPLY[@]}"' completion "$@"
}
COMPLETION=/usr/share/bash-completion/completions/varnel
# The switch table of the source: ":name" flags, bare names take a value.
mapfile -t SPEC < <(sed -n '/kVarnelSwitchSpecs/,/};/p' src/cli/switch_specs.h | grep -o '"[^"]*"' | tr -d '"')
[ ${#SPEC[@]} -gt 20 ] || fail "could not read the switch table from src/cli/switch_specs.h"
want="$(printf -- '-%s\n' "${SPEC[@]#:}" | sort)"
got="$(complete_words "$COMPLETION" _varnel varnel - | sort)"
[ "$got" = "$want" ] ||
  fail "the completion's switches differ from src/cli/switch_specs.h: $(diff <(echo "$want") <(echo "$got") | grep '^[<>]' | tr '\n' ' ')"
for s in "${SPEC[@]}"; do
  name="${s#:}"
  offered="$(complete_words "$COMPLETION" _varnel varnel "-$name" "" | sort)"
  case "$s" in
    :*) [ "$offered" = "$want" ] || fail "after the flag -$name the completion does not offer the switches" ;;
    h | internetencoding) ;;          # host names, encoding numbers
    f | undo | report | failed) ;;    # file names
    *) [ -z "$offered" ] || fail "after -$name, which takes a value, the completion offers '$offered'" ;;
  esac
done
[ "$(complete_words "$COMPLETION" _varnel varnel /CL)" = /CLEAR ] || fail "the completion does not complete /CL to /CLEAR"
[ "$(complete_words "$COMPLETION" _varnel varnel -undo /var/tm)" = /var/tmp ] ||
  fail "after -undo the completion does not complete a path that starts with /"
[ "$(complete_words "$COMPLETION" _varnel varnel -b x -Qu)" = -quota ] || fail "the completion does not complete -Qu to -quota"
[ "$(complete_words "$COMPLETION" _varnel varnel -internetencoding 131)" = "$(printf '1310720\n131072')" ] ||
  fail "the completion does not offer the internetEncoding values"
[ "$(complete_words /usr/share/bash-completion/completions/varnel-sandbox _varnel_sandbox varnel-sandbox mo)" = mode ] ||
  fail "the varnel-sandbox completion does not complete 'mo' to 'mode'"
if [ -f /usr/share/bash-completion/bash_completion ]; then
  # With the bash-completion package, the completion is loaded on demand by command name.
  loaded="$(bash --norc --noprofile -c 'source /usr/share/bash-completion/bash_completion; __load_completion varnel; complete -p varnel' 2>&1)"
  [ "$loaded" = "complete -F _varnel varnel" ] || fail "bash-completion does not load the varnel completion: $loaded"
fi
say "  bash completion: all ${#SPEC[@]} switches of src/cli/switch_specs.h, values, letter case"

# ---------------------------------------------------------------- varnel-sandbox

# Default state folder of the installed script: below XDG_STATE_HOME, else ~/.local/state.
home="$WORK/home"
mkdir -p "$home"
rc=0
env -u VARNEL_SANDBOX_STATE -u VARNEL_SANDBOX_DATA -u XDG_STATE_HOME HOME="$home" "$SANDBOX_BIN" status \
  >"$WORK/out" 2>"$WORK/err" || rc=$?
{ [ "$rc" -eq 3 ] && grep -qxF "state folder: $home/.local/state/varnel-sandbox" "$WORK/out" &&
  grep -q '^provisioned: *no' "$WORK/out"; } ||
  { show "$WORK/out" "$WORK/err"; fail "installed varnel-sandbox status with HOME=$home: exit $rc, expected 3 and the state folder $home/.local/state/varnel-sandbox"; }
rc=0
env -u VARNEL_SANDBOX_STATE -u VARNEL_SANDBOX_DATA XDG_STATE_HOME="$home/xdg" HOME="$home" "$SANDBOX_BIN" status \
  >"$WORK/out" 2>"$WORK/err" || rc=$?
{ [ "$rc" -eq 3 ] && grep -qxF "state folder: $home/xdg/varnel-sandbox" "$WORK/out"; } ||
  { show "$WORK/out" "$WORK/err"; fail "installed varnel-sandbox status with XDG_STATE_HOME: exit $rc, expected 3 and the state folder $home/xdg/varnel-sandbox"; }
[ -z "$(ls -A "$home")" ] || fail "varnel-sandbox status created files in $home"
say "  varnel-sandbox default state folder: \$XDG_STATE_HOME/varnel-sandbox, else ~/.local/state/varnel-sandbox"

t0=$(now_ms)
STATE="$WORK/sandbox-state"
SANDBOX_PORTS=(389 88 464 3268 53 135)
ports_busy() {
  local p
  for p in "${SANDBOX_PORTS[@]}"; do
    if timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$p" 2>/dev/null; then
      printf '%s\n' "$p"
      return 0
    fi
  done
  return 1
}
if unshare --net -- true 2>/dev/null; then
  say "sandbox job from the installed files, in a private network namespace"
  unshare --net -- bash "$ROOT/scripts/package-check.sh" --sandbox-job "$STATE" netns
else
  if busy="$(ports_busy)"; then
    if bash sandbox/varnel-sandbox status >/dev/null 2>&1; then
      say "no private network namespace here; stopping the repository's sandbox for the check"
      RESTART_REPO_SANDBOX=1
      bash sandbox/varnel-sandbox stop >/dev/null 2>&1 || fail "could not stop the repository's sandbox"
    fi
    ! busy="$(ports_busy)" ||
      fail "127.0.0.1 port $busy is in use (another sandbox or directory server) and no private network namespace can be made"
  fi
  say "sandbox job from the installed files, on this machine's ports"
  bash "$ROOT/scripts/package-check.sh" --sandbox-job "$STATE" host
fi
say "  sandbox job done in $(elapsed "$t0"); its state folder is removed"

# ---------------------------------------------------------------- end

if [ "$REMOVE" -eq 1 ]; then
  apt-get remove -y -q -o DPkg::Lock::Timeout=300 varnel >"$WORK/apt.log" 2>&1 ||
    { show "$WORK/apt.log"; fail "apt-get remove varnel failed"; }
  { [ ! -e "$VARNEL_BIN" ] && [ ! -e "$SANDBOX_BIN" ] && [ ! -e "$DATA_DIR" ]; } ||
    fail "files of varnel are left after apt-get remove"
  say "package removed again"
else
  say "package left installed (remove with: apt-get remove varnel)"
fi
say "all package checks passed in $(elapsed "$T_START")"
