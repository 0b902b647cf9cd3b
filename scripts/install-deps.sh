#!/usr/bin/env bash
# Installs every package Arvendel needs to build, test and run (Debian 12). Idempotent and
# quiet when everything is already present. Needs root (or sudo).
set -euo pipefail

PKGS=(
  # build
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libldap-dev libsasl2-dev libkrb5-dev libjpeg-dev libxlsxwriter-dev libzip-dev libsqlite3-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # the desktop keyring (Secret Service); the icon's PNG sizes are drawn from its SVG
  libsecret-1-dev librsvg2-bin
  # the Debian package and its checks: desktop entry, AppStream metainfo, lintian, manual pages
  dpkg-dev file desktop-file-utils appstream lintian man-db groff-base
  # run time: Kerberos binds through SASL GSSAPI, LDAP client tools
  libsasl2-modules libsasl2-modules-gssapi-mit krb5-user ldap-utils
  # the test and demo domain
  samba samba-ad-dc samba-ad-provision winbind python3-samba ldb-tools samba-dsdb-modules openssl openssl procps
  # the tests' own name resolution: the network domain's host names known to the system's
  # resolver of the test processes only (LD_PRELOAD), nothing in /etc changed
  libnss-wrapper libresolv-wrapper
  # test and demo tools: picture files for the seed, a virtual display for screenshots
  imagemagick xvfb xauth
  # independent readers of exported files (workbooks, documents, LDIF) and of the keyring
  python3-openpyxl python3-docx python3-ldap python3-secretstorage libsecret-tools
  # a private keyring for the keyring tests: a session bus and GNOME Keyring
  dbus dbus-daemon gnome-keyring
  # fonts the window tests measure text with; Cyrillic comes with DejaVu, Chinese and Japanese
  # names (the seed has them) with the Droid fallback font, so the grid shows no boxes
  fonts-dejavu-core fonts-droid-fallback
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
