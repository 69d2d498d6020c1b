# shellcheck shell=bash
# Sourced by the scripts that start Wine programs inside the sandbox that tests/wine/run makes.
# require_sandbox NAME refuses (exit 3) anywhere else: outside that sandbox Wine would see the
# machine's serial ports, and on these machines the first one is the system console.

require_sandbox() {
  local who="$1" ns
  ns="$(readlink /proc/self/ns/mnt)"
  refuse() {
    echo "$who: $1; refusing to start Wine (use tests/wine/run -- ...)" >&2
    exit 3
  }
  if [ -z "${TARVEX_WINE_SANDBOX:-}" ] || [ "$ns" != "$TARVEX_WINE_SANDBOX" ]; then
    refuse "not inside the Wine sandbox's mount namespace"
  fi
  # The sandbox's own /dev carries this mark; the machine's /dev never does.
  if [ "$(cat /dev/.tarvex-wine-sandbox 2>/dev/null)" != "$ns" ] || [ -e /dev/ttyS0 ] ||
    [ -e /dev/console ]; then
    refuse "/dev is not the sandbox's"
  fi
  if [ -z "${WINEPREFIX:-}" ] || [ "$WINEPREFIX" != "${TARVEX_WINE_PREFIX:-}" ] ||
    [ "$(cat "$WINEPREFIX/.tarvex-wine-sandbox" 2>/dev/null)" != "$ns" ]; then
    refuse "WINEPREFIX is not the prefix the sandbox made"
  fi
  if [ ! -f "${TARVEX_WINE_PRELOAD:-}" ]; then
    refuse "the guard library is missing"
  fi
  local escape
  if escape="$(shell_folder_outside "$WINEPREFIX")"; then
    refuse "the prefix's shell folder $escape leads outside it"
  fi
}

# Prints the first shell folder of the prefix $1 (a link under drive_c/users/*/, e.g. Desktop or
# Documents) that leads outside the prefix, and succeeds; fails when there is none. A program
# that writes to "Desktop" must write into the throw-away prefix, never into a real home.
shell_folder_outside() {
  local prefix escapes
  prefix="$(realpath -m -- "$1")"
  [ -d "$prefix/drive_c/users" ] || return 1
  # A pipe, not a process substitution: that needs /dev/fd, and failing it would find nothing.
  escapes="$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 3 -type l -print0 |
    while IFS= read -r -d '' link; do
      target="$(realpath -m -- "$link")"
      case "$target/" in
        "$prefix"/*) ;;
        *) echo "$link -> $target" ;;
      esac
    done)"
  [ -n "$escapes" ] || return 1
  echo "${escapes%%$'\n'*}"
}

# Whether $1 is /dev/pts/N, a pseudo-terminal (majors 136-143) of the devpts instance that
# /dev/pts holds, i.e. the sandbox's own inside it.
is_our_pty() {
  [[ "$1" =~ ^/dev/pts/[0-9]+$ ]] && [ -c "$1" ] || return 1
  local major
  major=$((0x$(stat -c %t "$1")))
  [ "$major" -ge 136 ] && [ "$major" -le 143 ] &&
    [ "$(stat -c %d "$1")" = "$(stat -c %d /dev/pts/ptmx)" ]
}

# The guard goes first, ahead of anything else preloaded.
with_guard() {
  LD_PRELOAD="$TARVEX_WINE_PRELOAD${LD_PRELOAD:+:$LD_PRELOAD}" "$@"
}
