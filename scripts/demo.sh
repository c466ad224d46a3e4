#!/usr/bin/env bash
# From a fresh Debian 12 machine to a first Varnel run: installs what is
# missing, builds, starts the sandbox directory and runs a sample job: a bulk
# update of twelve users piped from an LDAP search, read back afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVARNEL_INTEGRATION_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target varnel
bash sandbox/varnel-sandbox start
eval "$(bash sandbox/varnel-sandbox env)"

ou="OU=Varnel,$VARNEL_SANDBOX_BASE"
echo
echo "== Twelve users found by ldapsearch, piped into varnel -upd -quota 100:200:300 -hfal =="
set -x
ldapsearch -LLL -Q -o ldif-wrap=no -b "$ou" "(&(objectClass=user)(cn=Bulk User*))" 1.1 |
  sed -n 's/^dn: //p' |
  ./build/varnel -upd -quota 100:200:300 -hfal -safety 20 -elapsedms
{ set +x; } 2>/dev/null
echo "== What one of them holds now =="
ldapsearch -LLL -Q -o ldif-wrap=no -b "CN=Bulk User 01,$ou" -s base "(objectClass=*)" \
  mDBUseDefaults mDBStorageQuota mDBOverQuotaLimit mDBOverHardQuotaLimit msExchHideFromAddressLists
echo "== Try more: eval \"\$(sandbox/varnel-sandbox env)\"; ./build/varnel /? =="
