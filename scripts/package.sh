#!/usr/bin/env bash
# Builds the Debian package into build/ (or $ARV_BUILD_DIR): arvendel_<version>_amd64.deb,
# from a build of the two programs with their install rules (binaries stripped, dependencies
# computed from the linked libraries). Arguments: cmake options (-D...) as for build.sh.
# Prints the package's path.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ARV_BUILD_DIR:-$top/build}
bash "$top/scripts/build.sh" "$@" -- arvendel arvendel-cli arv_packaging_files >&2
cd "$build"
# dpkg-shlibdeps, strip and fakeroot-free ownership come from CPack's DEB generator.
cpack -G DEB >&2
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' CPackConfig.cmake)
arch=$(dpkg --print-architecture)
deb="$build/arvendel_${version}_${arch}.deb"
[ -f "$deb" ] || { echo "package.sh: $deb was not made" >&2; exit 1; }
echo "$deb"
