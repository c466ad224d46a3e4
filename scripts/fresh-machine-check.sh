#!/usr/bin/env bash
# Proves that the README's two commands work on a fresh Debian 12 machine:
# builds a throw-away bookworm root filesystem (mmdebstrap, variant minbase:
# essential packages and apt, none of the project's packages), copies a clean
# clone of this repository's HEAD into it and runs, as root inside it:
#
#   1. bash scripts/install-deps.sh   with this machine's network (apt needs it)
#   2. bash scripts/demo.sh           in a private network namespace
#   3. varnel-sandbox stop            (the demo leaves its sandbox running)
#   4. bash scripts/test.sh           in the same private network namespace
#   5. what listens on 127.0.0.1:389/88 in that namespace afterwards (nothing)
#
# Steps 2 to 5 share one network namespace with only a loopback interface, so
# the sandbox directories they start never meet one running on this machine.
# Every step is timed; its output goes to a log in the work folder.
#
#   sudo scripts/fresh-machine-check.sh [--keep] [WORK_DIR]
#
# WORK_DIR (default: a new /var/tmp/varnel-fresh.XXXXXX) holds the root
# filesystem and the logs; it is removed at the end unless --keep is given or a
# step failed (then the logs stay). Needs root, the network to Debian's mirror
# (the one this machine's apt uses) and about 4 GB of disk. Takes 20 minutes
# or more (the test command builds twice, fuzzes and runs valgrind); run it
# under "nice -n 15" on a machine others are using. Not part of CI.
set -euo pipefail

say() { printf 'fresh-machine-check: %s\n' "$*"; }
die() {
  printf 'fresh-machine-check: error: %s\n' "$*" >&2
  exit 1
}

keep=0
if [ "${1:-}" = --keep ]; then
  keep=1
  shift
fi
[ $# -le 1 ] || die "usage: $0 [--keep] [WORK_DIR]"
[ "$(id -u)" -eq 0 ] || die "needs root (it builds a root filesystem, mounts and chroots)"
repo="$(cd "$(dirname "$0")/.." && pwd)"
git -C "$repo" rev-parse --verify -q HEAD >/dev/null || die "$repo is not a git repository with commits"

# ---------------------------------------------------------------- host tools

host_tools=()
command -v mmdebstrap >/dev/null 2>&1 || host_tools+=(mmdebstrap)
command -v ip >/dev/null 2>&1 || host_tools+=(iproute2)
command -v git >/dev/null 2>&1 || host_tools+=(git)
if [ ${#host_tools[@]} -gt 0 ]; then
  say "installing on this machine: ${host_tools[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${host_tools[@]}" >/dev/null ||
    die "apt-get install ${host_tools[*]} failed"
fi
for tool in chroot mountpoint nsenter ss ps; do
  command -v "$tool" >/dev/null 2>&1 || die "'$tool' is missing on this machine"
done

# ---------------------------------------------------------------- mirror

# The bookworm entries of this machine's apt sources (deb822 .sources files and
# one-line .list files), as one-line "deb URI SUITE COMPONENTS" entries.
host_sources() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/)
          for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++)
            if (suite[s] ~ /^bookworm(-updates|-security)?$/) print "deb " uri[u] " " suite[s] " " comps
        types = ""; nu = 0; ns = 0; comps = ""
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { sub(/^Types:[[:space:]]*/, ""); types = $0 }
      /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); nu = split($0, uri, /[[:space:]]+/) }
      /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); ns = split($0, suite, /[[:space:]]+/) }
      /^Components:/ { sub(/^Components:[[:space:]]*/, ""); comps = $0 }
      END { flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/\[[^]]*\][[:space:]]*//; s/^deb[[:space:]]\+\([^[:space:]]\+\)[[:space:]]\+\(bookworm\(-updates\|-security\)\{0,1\}\)[[:space:]]\+/deb \1 \2 /p' "$f"
  done
}
mapfile -t sources < <(host_sources | awk '!seen[$0]++')
printf '%s\n' "${sources[@]}" | grep -q '^deb [^ ]* bookworm ' ||
  die "no 'bookworm' entry in this machine's apt sources to take the mirror from"

# ---------------------------------------------------------------- work folder, clean-up

if [ $# -eq 1 ]; then
  work="$1"
  mkdir -p "$work"
  [ -z "$(ls -A "$work")" ] || die "$work is not empty"
  work="$(cd "$work" && pwd)"
else
  work="$(mktemp -d /var/tmp/varnel-fresh.XXXXXX)"
fi
root="$work/rootfs"
logs="$work/logs"
mkdir -p "$logs"
netns="varnel-fresh-$$"
netns_made=0
failed=""

# Processes whose root directory is the throw-away root (left behind by a
# failed step); they keep its mounts busy.
chroot_pids() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && printf '%s\n' "${p#/proc/}"
  done
  return 0
}

cleanup() {
  local status=$? pids
  trap - EXIT INT TERM
  pids="$(chroot_pids | tr '\n' ' ')"
  if [ -n "$pids" ]; then
    say "stopping processes left in the root filesystem: $pids"
    # shellcheck disable=SC2086  # a list of pids, one word each
    kill -KILL $pids 2>/dev/null || true
    sleep 1
  fi
  local m
  for m in dev/pts dev sys proc; do
    if mountpoint -q "$root/$m" 2>/dev/null; then
      umount -R "$root/$m" 2>/dev/null || umount -R -l "$root/$m" || true
    fi
  done
  [ "$netns_made" -eq 0 ] || ip netns delete "$netns" 2>/dev/null || true
  if [ "$status" -eq 0 ] && [ "$keep" -eq 0 ]; then
    rm -rf --one-file-system "$work"
  else
    say "work folder kept: $work (logs in $logs)"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---------------------------------------------------------------- steps

names=()
durations=()
results=()
now() { date +%s; }
minutes() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# step NAME COMMAND...: runs the command (in a subshell: it changes no
# variables here) with its output in $logs/NAME.log, records its time and
# result; a failure ends the check.
step() {
  local name="$1" t0 rc=0
  shift
  say "$name ..."
  t0=$(now)
  # A subshell of its own, not "|| rc=$?", so that set -e holds inside it.
  set +e
  (
    set -e
    "$@"
  ) >"$logs/$name.log" 2>&1 </dev/null
  rc=$?
  set -e
  names+=("$name")
  durations+=($(($(now) - t0)))
  if [ "$rc" -eq 0 ]; then results+=(ok); else results+=("FAILED ($rc)"); fi
  say "$name: ${results[-1]} in $(minutes "${durations[-1]}")"
  if [ "$rc" -ne 0 ]; then
    failed="$name"
    printf -- '--- last lines of %s\n' "$logs/$name.log" >&2
    tail -n 40 "$logs/$name.log" >&2
    summary
    exit 1
  fi
}

summary() {
  local i total=0
  say "summary (root filesystem: Debian bookworm, minbase):"
  for i in "${!names[@]}"; do
    printf '  %-14s %-12s %s\n' "${names[i]}" "${results[i]}" "$(minutes "${durations[i]}")"
    total=$((total + durations[i]))
  done
  printf '  %-14s %-12s %s\n' total "${failed:+stopped at $failed}" "$(minutes "$total")"
  [ -z "$failed" ] || say "the steps before $failed passed"
}

bootstrap() {
  printf 'sources:\n'
  printf '  %s\n' "${sources[@]}"
  mmdebstrap --mode=root --variant=minbase --format=directory bookworm "$root" "${sources[@]}"
  # What a fresh Debian installation has and minbase leaves out.
  printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"
  [ -s "$root/etc/resolv.conf" ] || cp /etc/resolv.conf "$root/etc/resolv.conf"
  # Nothing of the project is there.
  local p
  for p in cmake samba ldap-utils krb5-user valgrind clang shellcheck; do
    if dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}' "$p" 2>/dev/null |
      grep -q 'install ok installed'; then
      echo "$p is already installed in the fresh root"
      return 1
    fi
  done
  dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Package}\n' | wc -l | sed 's/^/installed packages: /'
}

copy_repo() {
  git clone --quiet --no-hardlinks "$repo" "$root/root/varnel"
  git -C "$root/root/varnel" log --oneline -1
  git -C "$root/root/varnel" status --short | grep . && return 1
  return 0
}

mount_all() {
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
}

# in_root [--netns] COMMAND: runs a bash command as root in the root filesystem,
# in the repository's clone, with a clean environment.
in_root() {
  local -a prefix=()
  if [ "$1" = --netns ]; then
    # nsenter joins only the network namespace. "ip netns exec" would also
    # give every step a mount namespace of its own, where the sandbox cannot
    # recognise the samba an earlier step started (its open files show under
    # other paths).
    prefix=(nsenter --net="/run/netns/$netns")
    shift
  fi
  "${prefix[@]}" chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/varnel && $1"
}

make_netns() {
  ip netns add "$netns"
  nsenter --net="/run/netns/$netns" ip link set lo up
  nsenter --net="/run/netns/$netns" ip -brief address
}

# The demo leaves its sandbox running: stop it, and fail if none was running.
stop_demo_sandbox() {
  local out
  out="$(in_root --netns 'bash sandbox/varnel-sandbox stop' 2>&1)"
  printf '%s\n' "$out"
  grep -q 'stopped in' <<<"$out"
}

# After the test command: nothing of the sandbox listens in the namespace, and
# no process is left in the root filesystem.
check_left_over() {
  local listening pids
  listening="$(nsenter --net="/run/netns/$netns" ss -ltnH)"
  printf 'listening in the namespace after the test command:\n%s\n' "${listening:-  (nothing)}"
  pids="$(chroot_pids | tr '\n' ' ')"
  if [ -n "$pids" ]; then
    # shellcheck disable=SC2086  # a list of pids, one word each
    ps -o pid,args -p $pids
  fi
  if grep -qE '127\.0\.0\.1:(389|88)\b' <<<"$listening"; then
    echo "the sandbox still listens on 127.0.0.1:389/88"
    return 1
  fi
  [ -z "$pids" ] || { echo "processes left in the root filesystem: $pids"; return 1; }
}

say "work folder $work; commit $(git -C "$repo" log --oneline -1)"
step bootstrap bootstrap
step copy-repo copy_repo
step mount mount_all
step install-deps in_root 'bash scripts/install-deps.sh'
netns_made=1
step netns make_netns
step demo in_root --netns 'bash scripts/demo.sh'
step sandbox-stop stop_demo_sandbox
step test in_root --netns 'bash scripts/test.sh'
step left-over check_left_over
tail -n 3 "$logs/test.log" | sed 's/^/  test.sh: /'
summary
say "the README's two commands work on a fresh Debian 12 root"
