#!/usr/bin/env bash
# tests/wine/screenshot_window.sh INSTALLER OUT.png
#
# Inside tests/wine/run, under an X server: installs tarvex with its Windows installer (silently,
# into Program Files), links a Chinese font behind the dialog faces so that the fixed Chinese
# texts render, starts the installed tarvex.exe from its folder on a Wine desktop and lets it save
# its own window to OUT.png once its first paint is done.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=sandbox.sh source-path=SCRIPTDIR
source "$here/sandbox.sh"
require_sandbox screenshot_window.sh

[ $# -eq 2 ] || {
  echo "usage: tests/wine/screenshot_window.sh INSTALLER OUT.png" >&2
  exit 2
}
installer="$(realpath "$1")"
out="$(realpath -m "$2")"
[ -n "${DISPLAY:-}" ] || {
  echo "screenshot_window.sh: needs an X display (run it under xvfb-run)" >&2
  exit 1
}

"$here/wine-exec" "$installer" /S >/dev/null 2>&1
folder="$WINEPREFIX/drive_c/Program Files/tarvex"
[ -f "$folder/tarvex.exe" ] && [ -f "$folder/logo.png" ] || {
  echo "screenshot_window.sh: the installer did not install tarvex.exe and logo.png" >&2
  exit 1
}

cjk=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
if [ -f "$cjk" ]; then
  cp "$cjk" "$WINEPREFIX/drive_c/windows/Fonts/"
  for face in Tahoma "Tahoma Bold" "MS Shell Dlg" "MS Shell Dlg 2"; do
    "$here/wine-exec" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1
  done
fi

rm -f -- "$out"
windows_out="Z:${out//\//\\}"
(cd "$folder" && timeout 60 "$here/wine-exec" explorer /desktop=shot,640x360 tarvex.exe \
  --screenshot "$windows_out" >/dev/null 2>&1) || true
[ -s "$out" ] || {
  echo "screenshot_window.sh: tarvex.exe wrote no picture" >&2
  exit 1
}
echo "wrote $out"
