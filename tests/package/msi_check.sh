#!/usr/bin/env bash
# The Windows installer of a Windows build, installed and removed under Wine as software
# distribution does it (msiexec /qn, per machine): the programs land in Program Files with a
# Start-menu shortcut, the installed command line tells its version, and removal leaves none of
# them. In a Wine prefix of its own (build/wineprefix-msi), kept from run to run (making one
# costs over a minute) unless a run left the programs installed.
#
#   tests/package/msi_check.sh [BUILD]     (default build/win64)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/win64}
export WINEPREFIX=$PWD/build/wineprefix-msi
installed=$WINEPREFIX/drive_c/Program\ Files/ticketflash
if [[ -e $installed ]]; then
    wineserver -k 2>/dev/null || true
    wineserver -w
    rm -rf "$WINEPREFIX"
fi
source scripts/wine-env
trap wine_env_end EXIT

package=$(scripts/package-windows "$build")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
# Wine's installer puts a per-machine package's shortcuts in the user's Start menu.
shortcuts=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/ticketflash.lnk"
    "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/ticketflash.lnk")
windows_package=$(winepath -w "$package")

source tests/package/checks.sh

# Lists the shortcut where it is; false when it is nowhere.
shortcut_there() {
    local found=1 file
    for file in "${shortcuts[@]}"; do
        [[ -e $file ]] && echo "$file" && found=0
    done
    return $found
}

check "a per-machine package" grep -q "^ALLUSERS	1" <<<"$(msiinfo export "$package" Property)"
echo "install: msiexec /i $(basename "$package") /qn"
check "msiexec /i succeeds" wine msiexec /i "$windows_package" /qn
ls -l "$installed"
for program in ticketflash.exe ticketflash-cli.exe; do
    check "$program installed" test -f "$installed/$program"
done
check "Start-menu shortcut" shortcut_there

echo "installed: ticketflash-cli.exe --version"
shown=$(wine 'C:\Program Files\ticketflash\ticketflash-cli.exe' --version | tr -d '\r')
echo "$shown"
check "the installed command line says $version" grep -q "$version" <<<"$shown"

echo "remove: msiexec /x $(basename "$package") /qn"
check "msiexec /x succeeds" wine msiexec /x "$windows_package" /qn
for program in ticketflash.exe ticketflash-cli.exe; do
    check "$program removed" test ! -e "$installed/$program"
done
check "shortcut removed" test -z "$(shortcut_there || true)"
checks_end
