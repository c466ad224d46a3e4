#!/usr/bin/env bash
# Installs the Debian 12 packages Varnel needs to build, test and run its sandbox directory.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev
  libldap-dev libsasl2-dev libkrb5-dev ldap-utils nlohmann-json3-dev
  samba samba-ad-dc samba-ad-provision krb5-user libsasl2-modules-gssapi-mit
  clang clang-format libclang-rt-14-dev valgrind time iproute2 shellcheck file openssl lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# As root the commands run as they are; otherwise through sudo. An array, so
# that an empty prefix adds no word to the command line.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 ||
    { echo "install-deps: missing ${missing[*]}; run this as root or install sudo" >&2; exit 1; }
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"
