#!/usr/bin/env bash
# Installs the Debian 12 packages Varnel needs to build, test and run its sandbox directory.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev
  libldap-dev libsasl2-dev ldap-utils
  samba samba-ad-dc samba-ad-provision krb5-user libsasl2-modules-gssapi-mit
  clang libclang-rt-14-dev valgrind time iproute2
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO -E apt-get install -y -q --no-install-recommends "${missing[@]}"
