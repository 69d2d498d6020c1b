#!/usr/bin/env bash
# tests/wine/install_test.sh INSTALLER ZIP
#
# Inside tests/wine/run: the Windows installer, run silently, puts tarvex.exe, tarvex-cli.exe,
# logo.png and examples/sample.zfr into one folder under Program Files with a Start-menu shortcut,
# the .zfr association and an uninstaller; the installed tarvex-cli.exe runs and reads the installed sample; the
# uninstaller removes it all again. The portable zip holds the same files. The installer is a
# 32-bit program: without Debian's wine32 (scripts/setup --wine32) only the zip is checked and
# the test reports itself skipped (77). Both programs and the installer carry the product's
# version block.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=sandbox.sh source-path=SCRIPTDIR
source "$here/sandbox.sh"
require_sandbox install_test.sh

fail() {
  echo "install_test.sh: $*" >&2
  exit 1
}
[ $# -eq 2 ] || {
  echo "usage: tests/wine/install_test.sh INSTALLER ZIP" >&2
  exit 2
}
installer="$1"
zip="$2"
[ -f "$installer" ] || fail "no installer at $installer: cmake --build --preset windows --target package"
[ -f "$zip" ] || fail "no zip at $zip"

expected="examples/sample.zfr logo.png tarvex-cli.exe tarvex.exe"
in_zip="$(unzip -Z1 "$zip" | grep -v '/$' | sed 's#^[^/]*/##' | sort | tr '\n' ' ')"
[ "$in_zip" = "$expected " ] || fail "the zip holds '$in_zip', not '$expected'"

# Both programs and the installer carry the product's version block (UTF-16 texts in their
# resources); tarvex-cli.exe's manifest asks for UTF-8, long paths and Windows 10.
unpacked="$(mktemp -d /tmp/tarvex-zip.XXXXXX)"
trap 'rm -rf -- "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
for file in "$installer" "$unpacked"/*/tarvex.exe "$unpacked"/*/tarvex-cli.exe; do
  texts="$(strings -el "$file")"
  for field in CompanyName FileDescription LegalCopyright ProductName ProductVersion 1.0.0.3; do
    grep -qxF "$field" <<<"$texts" || fail "${file##*/} has no $field in its version block"
  done
done
for setting in activeCodePage longPathAware supportedOS; do
  strings "$unpacked"/*/tarvex-cli.exe | grep -q "<$setting" ||
    fail "tarvex-cli.exe's manifest has no $setting"
done

if [ ! -e /usr/lib/wine/wine ]; then
  echo "install_test.sh: Wine cannot run 32-bit programs here (no wine32); skipped"
  exit 77
fi

folder="$WINEPREFIX/drive_c/Program Files/tarvex"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
"$here/wine-exec" "$installer" /S >/dev/null 2>&1 </dev/null || fail "the installer failed"
for file in $expected Uninstall.exe; do
  [ -f "$folder/$file" ] || fail "the installer did not install $file"
done
find "$menu" -name 'tarvex.lnk' | grep -q . || fail "no Start-menu shortcut"
version="$("$here/wine-exec" "$folder/tarvex-cli.exe" --version 2>/dev/null </dev/null | tr -d '\r')"
[[ "$version" == *1.0.0.3* ]] || fail "the installed tarvex-cli.exe said '$version'"
"$here/wine-exec" "$folder/tarvex-cli.exe" info 'C:\Program Files\tarvex\examples\sample.zfr' \
  >/dev/null 2>&1 </dev/null || fail "the installed tarvex-cli.exe cannot read the installed sample"

command="$("$here/wine-exec" reg query 'HKLM\Software\Classes\tarvex.zfr\shell\open\command' /ve \
  2>/dev/null </dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p')"
[ "$command" = '"C:\Program Files\tarvex\tarvex.exe" "%1"' ] || fail "the .zfr open command is '$command'"

"$here/wine-exec" "$folder/Uninstall.exe" /S >/dev/null 2>&1 </dev/null || fail "the uninstaller failed"
# The uninstaller copies itself elsewhere and returns at once; give the copy time to finish.
for _ in $(seq 100); do
  [ -e "$folder/tarvex.exe" ] || break
  sleep 0.1
done
[ ! -e "$folder/tarvex.exe" ] || fail "the uninstaller left tarvex.exe behind"
[ ! -e "$folder/examples" ] || fail "the uninstaller left the examples folder behind"
for key in '.zfr' 'tarvex.zfr' 'Applications\tarvex.exe'; do
  ! "$here/wine-exec" reg query "HKLM\\Software\\Classes\\$key" >/dev/null 2>&1 </dev/null ||
    fail "the uninstaller left the registry key $key behind"
done
echo "install_test.sh: installed, ran and uninstalled tarvex $version"
