#!/usr/bin/env bash
# tests/wine/msi_test.sh MSI CPACK_CONFIG
#
# Inside tests/wine/run: the Windows Installer package, installed silently as IT would deploy it,
# puts both programs, the logo and the sample image into Program Files\tarvex, a Start-menu
# shortcut that starts the window in that folder, and the .zfr association; both installed
# programs run. A package of the next version (made here from CPACK_CONFIG, as the package target
# makes it) replaces it, with the PATH entry asked for this time; uninstalling leaves nothing:
# no file, folder, shortcut, registry key or PATH entry.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=sandbox.sh source-path=SCRIPTDIR
source "$here/sandbox.sh"
require_sandbox msi_test.sh

fail() {
  echo "msi_test.sh: $*" >&2
  exit 1
}
[ $# -eq 2 ] || {
  echo "usage: tests/wine/msi_test.sh MSI CPACK_CONFIG" >&2
  exit 2
}
msi="$(realpath "$1")"
[ -f "$msi" ] || fail "no MSI at $1: cmake --build --preset windows --target package"
[ -f "$2" ] || fail "no CPack configuration at $2"
cpack_config="$(realpath "$2")"

work="$(mktemp -d /tmp/tarvex-msi.XXXXXX)"
trap 'rm -rf -- "$work"' EXIT
folder="$WINEPREFIX/drive_c/Program Files/tarvex"
windows_folder='C:\Program Files\tarvex'
classes='HKLM\Software\Classes'
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninstall_keys='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

wine_run() {
  "$here/wine-exec" "$@" 2>/dev/null </dev/null | tr -d '\r'
}
msiexec() {
  "$here/wine-exec" msiexec "$@" /qn >>"$work/msiexec.log" 2>&1 </dev/null ||
    fail "msiexec $* failed"
}
# The data of value $2 (empty: the default value) of key $1, or nothing.
reg_value() {
  local name=(/ve)
  [ -z "$2" ] || name=(/v "$2")
  wine_run reg query "$1" "${name[@]}" | sed -n 's/^ *[^ ].*  *REG_[A-Z_]*  *//p'
}
reg_exists() {
  "$here/wine-exec" reg query "$1" >/dev/null 2>&1 </dev/null
}
# Wine puts an all-users package's shortcuts into the user's Start menu, Windows into the shared
# one: either will do, inside the sandbox's prefix.
shortcuts() {
  find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/*' -iname 'tarvex*.lnk'
}
# The versions of every installed product named tarvex, one per Uninstall key.
installed_versions() {
  wine_run reg query "$uninstall_keys" /s | awk '
    /^HKEY_/ { if (name == "tarvex") print version; name = ""; version = "" }
    $1 == "DisplayName" && $2 == "REG_SZ" { name = $3 }
    $1 == "DisplayVersion" && $2 == "REG_SZ" { version = $3 }
    END { if (name == "tarvex") print version }' | sort | tr '\n' ' '
}

# The next version's package, made by the package target's own steps. Only the last field
# changes, as between our releases; Windows Installer ignores that field when it compares.
current="$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')"
newer="${current%.*}.$((${current##*.} + 1))"
(cd "$work" && cpack -G External --config "$cpack_config" -B "$work/newer" \
  -D CPACK_PACKAGE_VERSION="$newer" -D CPACK_PACKAGE_FILE_NAME=newer >"$work/cpack.log" 2>&1) ||
  fail "cannot make the newer package: $(tail -5 "$work/cpack.log")"
newer_msi="$work/newer/newer.msi"

# --- Install as deployed: files, programs, association, shortcut; no PATH entry by default.
msiexec /i "Z:${msi//\//\\}"
for file in tarvex.exe tarvex-cli.exe logo.png examples/sample.zfr; do
  [ -f "$folder/$file" ] || fail "the package did not install $file"
done
version="$(wine_run "$folder/tarvex-cli.exe" --version)"
[[ "$version" == *"$current"* ]] || fail "the installed tarvex-cli.exe said '$version'"
info="$(wine_run "$folder/tarvex-cli.exe" info "$windows_folder\\examples\\sample.zfr")"
[[ "$info" == *"(good)"* ]] || fail "the installed tarvex-cli.exe read the installed sample as: $info"
# The window, started as the shortcut starts it, opens, paints and closes itself.
(cd "$folder" && timeout 60 "$here/wine-exec" tarvex.exe --screenshot "Z:${work//\//\\}\\window.png" \
  >/dev/null 2>&1 </dev/null) || fail "the installed tarvex.exe did not open and close"
[ -s "$work/window.png" ] || fail "the installed tarvex.exe drew no window"

[ "$(reg_value "$classes\\.zfr" "")" = tarvex.zfr ] || fail ".zfr is not associated with tarvex"
reg_exists "$classes\\.zfr\\OpenWithProgids" || fail "tarvex is not under Open with for .zfr"
command="$(reg_value "$classes\\tarvex.zfr\\shell\\open\\command" "")"
[ "$command" = "\"$windows_folder\\tarvex.exe\" \"%1\"" ] || fail "the open command is '$command'"
link="$(shortcuts)"
[ "$(wc -l <<<"$link")" -eq 1 ] && [ -f "$link" ] || fail "no single Start-menu shortcut: '$link'"
strings -el "$link" | grep -qxF -e "$windows_folder" -e "$windows_folder\\" ||
  fail "the shortcut does not start tarvex in $windows_folder"
[[ "$(reg_value "$environment" Path)" != *tarvex* ]] || fail "PATH names tarvex without ADDTOPATH"

# --- The next version replaces it; ADDTOPATH=1 adds the folder to the system PATH.
msiexec /i "Z:${newer_msi//\//\\}" ADDTOPATH=1
[ "$(installed_versions)" = "$newer " ] ||
  fail "after the upgrade the installed versions are '$(installed_versions)', not $newer alone"
[[ "$(reg_value "$environment" Path)" == *"$windows_folder"* ]] ||
  fail "PATH does not name $windows_folder with ADDTOPATH=1"

# --- Uninstalling leaves nothing behind.
msiexec /x "Z:${newer_msi//\//\\}"
[ ! -e "$folder" ] || fail "the folder is left: $(find "$folder" | tr '\n' ' ')"
[ -z "$(shortcuts)" ] || fail "the shortcut is left: $(shortcuts)"
for key in "$classes\\.zfr" "$classes\\tarvex.zfr" "$classes\\Applications\\tarvex.exe" \
  'HKLM\Software\tarvex'; do
  ! reg_exists "$key" || fail "the registry key $key is left"
done
[ -z "$(installed_versions)" ] || fail "still registered as installed: $(installed_versions)"
[[ "$(reg_value "$environment" Path)" != *tarvex* ]] || fail "PATH still names tarvex"
echo "msi_test.sh: installed, ran, upgraded to $newer and uninstalled $version"
