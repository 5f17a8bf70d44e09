#!/usr/bin/env bash
# Builds the Debian package from a Linux build folder (cpack -G DEB), lists its files and checks
# that the programs and their manual pages are where users look for them and that it depends
# on the CUPS library. The package is left in BUILD/package.
#
#   tests/package/deb_check.sh [BUILD]     (default build/linux)
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/configure.sh
dir=${1:-build/linux}
out=$dir/package
# cpack installs what the build folder holds: everything must be built first.
build_quietly "$dir"
rm -rf "$out"
mkdir -p "$out"
cpack -G DEB --config "$dir/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/ticketflash_*.deb)
echo "$deb"
dpkg-deb -f "$deb" Package Version Architecture Maintainer Depends Section
dpkg -c "$deb"

source tests/package/checks.sh
files=$(dpkg -c "$deb" | awk '{ print $6 }')
for path in ./usr/bin/ticketflash ./usr/bin/printer-sim \
    ./usr/share/man/man1/ticketflash.1.gz ./usr/share/man/man1/printer-sim.1.gz; do
    check "$path in the package" grep -qx "$path" <<<"$files"
done
check "depends on libcups2" grep -q 'libcups2' <<<"$(dpkg-deb -f "$deb" Depends)"
check "nothing outside /usr" test -z "$(grep -v '^\./usr/\|^\./$' <<<"$files")"
checks_end
