#!/usr/bin/env bash
# Test of scripts/install-deps.sh: runs it with stand-ins for dpkg-query,
# apt-get, id and sudo first on PATH and checks what apt-get was asked to do,
# as root and as an ordinary user (through sudo).
#
#   tests/scripts/install_deps_test.sh [SOURCE_DIR]
#
# The stand-ins only write logs; nothing is installed.
set -euo pipefail

source_dir="$(cd "${1:-$(dirname "$0")/../..}" && pwd)"
script="$source_dir/scripts/install-deps.sh"
[ -f "$script" ] || { echo "install_deps_test: no $script" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/varnel-install-deps-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
bin="$work/bin"
mkdir -p "$bin"

failures=0
fail() {
  echo "install_deps_test: FAIL: $*" >&2
  failures=$((failures + 1))
}

# dpkg-query -W -f=... PACKAGE: reports the packages named in $FAKE_INSTALLED
# as installed and knows nothing of the others, as dpkg-query does for a
# package never installed. Every query is logged.
cat >"$bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
pkg="${*: -1}"
echo "$pkg" >>"$FAKE_LOG/dpkg-query"
case " ${FAKE_INSTALLED:-} " in
  *" $pkg "*) printf 'install ok installed' ;;
  *) echo "dpkg-query: no packages found matching $pkg" >&2; exit 1 ;;
esac
EOF

# apt-get: one log line per call with its arguments, then one with what it saw
# of DEBIAN_FRONTEND and of sudo (SUDO_USER).
cat >"$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
{
  printf 'args:'
  printf ' %s' "$@"
  printf '\nenv: DEBIAN_FRONTEND=%s SUDO_USER=%s\n' "${DEBIAN_FRONTEND:-}" "${SUDO_USER:-}"
} >>"$FAKE_LOG/apt-get"
EOF

# id -u answers $FAKE_UID; anything else goes to the real id.
real_id="$(command -v id)"
cat >"$bin/id" <<EOF
#!/usr/bin/env bash
if [ "\$*" = "-u" ]; then echo "\$FAKE_UID"; exit 0; fi
exec "$real_id" "\$@"
EOF

# sudo: logs its arguments and runs the command as sudo does by default: with
# the environment reset (PATH kept for the stand-ins) unless -E is given, and
# SUDO_USER set.
cat >"$bin/sudo" <<'EOF'
#!/usr/bin/env bash
printf '%s\n' "$*" >>"$FAKE_LOG/sudo"
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    -E) keep=1; shift ;;
    --) shift; break ;;
    -*) echo "sudo stand-in: unexpected option $1" >&2; exit 1 ;;
    *) break ;;
  esac
done
if [ "$keep" -eq 1 ]; then
  exec env SUDO_USER=tester "$@"
fi
exec env -i PATH="$PATH" FAKE_LOG="$FAKE_LOG" SUDO_USER=tester "$@"
EOF
chmod +x "$bin"/*

# The script runs with nothing on PATH but the stand-ins and the few real tools
# it and they use, so no real apt-get or sudo can ever be reached.
tools="$work/tools"
mkdir -p "$tools"
for t in bash env grep; do
  ln -s "$(command -v "$t")" "$tools/$t"
done

# run_script NAME UID INSTALLED: runs install-deps.sh; leaves its logs in
# $work/NAME and its exit status in $status.
run_script() {
  local log="$work/$1"
  mkdir -p "$log"
  status=0
  env -u SUDO_USER -u DEBIAN_FRONTEND PATH="$bin:$tools" FAKE_LOG="$log" FAKE_UID="$2" \
    FAKE_INSTALLED="$3" bash "$script" >"$log/out" 2>"$log/err" </dev/null || status=$?
}

# check_install NAME SUDO_USER_EXPECTED WANTED...: the run succeeded and called
# apt-get twice: update, then install -y with exactly the WANTED packages,
# both with DEBIAN_FRONTEND=noninteractive and seen through sudo or not.
check_install() {
  local name="$1" via="$2" log="$work/$1"
  shift 2
  local -a wanted=("$@")
  if [ "$status" -ne 0 ]; then
    fail "$name: install-deps.sh exited $status"
    sed 's/^/    /' "$log/err" >&2
    return
  fi
  local -a args envs
  mapfile -t args < <(sed -n 's/^args: //p' "$log/apt-get" 2>/dev/null)
  mapfile -t envs < <(sed -n 's/^env: //p' "$log/apt-get" 2>/dev/null)
  if [ "${#args[@]}" -ne 2 ]; then
    fail "$name: apt-get called ${#args[@]} times, expected 2 (update, install)"
    return
  fi
  local -a update install
  read -r -a update <<<"${args[0]}"
  read -r -a install <<<"${args[1]}"
  # The first word that is not an option is the apt-get command.
  local -a words=() options=()
  local w
  for w in "${update[@]}"; do [[ $w == -* ]] || words+=("$w"); done
  [ "${words[*]}" = update ] || fail "$name: first apt-get call is '${args[0]}', expected update"
  words=()
  for w in "${install[@]}"; do
    if [[ $w == -* ]]; then options+=("$w"); else words+=("$w"); fi
  done
  [ "${words[0]:-}" = install ] || fail "$name: second apt-get call is '${args[1]}', expected install"
  [ "${words[*]:1}" = "${wanted[*]}" ] ||
    fail "$name: apt-get install got packages '${words[*]:1}', expected '${wanted[*]}'"
  [[ " ${options[*]} " == *" -y "* ]] || fail "$name: apt-get install without -y: '${args[1]}'"
  local i
  for i in 0 1; do
    [ "${envs[i]}" = "DEBIAN_FRONTEND=noninteractive SUDO_USER=$via" ] ||
      fail "$name: apt-get call $((i + 1)) saw '${envs[i]}', expected DEBIAN_FRONTEND=noninteractive SUDO_USER=$via"
  done
  if [ -n "$via" ]; then
    [ "$(wc -l <"$log/sudo" 2>/dev/null || echo 0)" -eq 2 ] ||
      fail "$name: sudo called $(wc -l <"$log/sudo" 2>/dev/null || echo 0) times, expected 2"
  else
    [ ! -e "$log/sudo" ] || fail "$name: as root sudo was called: $(tr '\n' ';' <"$log/sudo")"
  fi
}

# Every package missing, as root and as an ordinary user.
run_script root 0 ""
mapfile -t all <"$work/root/dpkg-query"
[ "${#all[@]}" -ge 10 ] || fail "install-deps.sh asked dpkg-query about ${#all[@]} packages only"
for p in build-essential cmake libldap-dev samba-ad-dc valgrind shellcheck file lintian; do
  [[ " ${all[*]} " == *" $p "* ]] || fail "install-deps.sh does not check for $p"
done
check_install root "" "${all[@]}"
run_script user 1000 ""
check_install user tester "${all[@]}"

# Some installed: only the others are asked for.
run_script some 1000 "cmake samba-ad-dc"
rest=()
for p in "${all[@]}"; do
  case "$p" in cmake | samba-ad-dc) ;; *) rest+=("$p") ;; esac
done
check_install some tester "${rest[@]}"

# Everything installed: no apt-get, no sudo, success.
run_script none 1000 "${all[*]}"
[ "$status" -eq 0 ] || fail "with everything installed install-deps.sh exited $status"
if [ -e "$work/none/apt-get" ] || [ -e "$work/none/sudo" ]; then
  fail "with everything installed install-deps.sh still ran apt-get or sudo"
fi

# An ordinary user without sudo gets a clear error, not a half run.
rm "$bin/sudo"
run_script nosudo 1000 ""
if [ "$status" -eq 0 ] || [ -e "$work/nosudo/apt-get" ] || ! grep -q 'sudo' "$work/nosudo/err"; then
  fail "an ordinary user without sudo: exit $status, apt-get log: $(cat "$work/nosudo/apt-get" 2>/dev/null), message: $(cat "$work/nosudo/err")"
fi

if [ "$failures" -ne 0 ]; then
  echo "install_deps_test: $failures failure(s)" >&2
  exit 1
fi
echo "install_deps_test: passed (${#all[@]} packages, as root and through sudo)"
