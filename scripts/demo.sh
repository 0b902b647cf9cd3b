#!/usr/bin/env bash
# Installs what is needed, builds, starts the demo domain (provisioned and seeded on first use)
# and opens Arvendel connected to it. The domain keeps running after the program closes;
# stop it with: bash tests/domain/testdomain.sh stop --dir build/demodomain
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ARV_BUILD_DIR:-$top/build}
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh" -- arvendel arvendel-cli
domain=$build/demodomain
bash "$top/tests/domain/testdomain.sh" up --dir "$domain" --addr 127.0.0.31 --dns --keep
# A second domain controller, so that the network browser and the server information have two
# to show; the program works without it. Only the demo domain's own DNS server knows its host
# names, so the program binds DC2 by its address, which its certificate names too.
bash "$top/tests/domain/testdomain.sh" join-dc --dir "$domain" --addr2 127.0.0.32 --name-address ||
  echo "demo: the second domain controller could not be started; see $domain/join.log" >&2
export ARV_DEMO_DOMAIN="$domain"
# The demo domain's names are known only to its own DNS server.
export ARV_DNS_SERVER=127.0.0.31
exec "$build/src/app/arvendel" --demo "$domain" "$@"
