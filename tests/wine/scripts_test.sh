#!/usr/bin/env bash
# scripts_test.sh DIR LAUNCHER: the refusals of DIR/run and DIR/wine-exec, without ever starting
# Wine (LAUNCHER: the native build's tarvex-wine-start).
# `wine` is a stand-in here that records being started (and prints, so that the launcher does not
# take its quick failure for Wine not starting). Every case that, were its check broken,
# would go on to mount over /dev runs in a private mount namespace of its own. Needs root; exits
# 77 (skipped) otherwise.
set -euo pipefail

dir="$(cd "$1" && pwd)"
launcher="$2"
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: needs root for mount namespaces"
  exit 77
fi

unset TARVEX_WINE_SANDBOX TARVEX_WINE_STAGE TARVEX_WINE_OUTER_NS WINEPREFIX TARVEX_WINE_PREFIX \
  TARVEX_WINE_PRELOAD TARVEX_WINE_START
scratch="$(mktemp -d)"
trap 'rm -rf -- "$scratch"' EXIT
mkdir "$scratch/bin" "$scratch/prefix"
cat >"$scratch/bin/wine" <<EOF
#!/bin/sh
echo "\$LD_PRELOAD" >"$scratch/wine-started"
echo "started"
exit 99
EOF
chmod +x "$scratch/bin/wine"
touch "$scratch/guard.so"
failures=0

# check NAME STATUS TEXT COMMAND...: COMMAND ends with STATUS, says TEXT and starts no Wine.
check() {
  local name="$1" want="$2" text="$3" status=0 out
  shift 3
  out="$("$@" 2>&1)" || status=$?
  if [ "$status" -ne "$want" ] || ! grep -qF -- "$text" <<<"$out" || [ -e "$scratch/wine-started" ]; then
    echo "FAIL $name: status $status (want $want), output: $out"
    failures=$((failures + 1))
    rm -f "$scratch/wine-started"
  else
    echo "ok   $name"
  fi
}

clean=(env "PATH=$scratch/bin:$PATH")
ns="$(readlink /proc/self/ns/mnt)"
echo "$ns" >"$scratch/prefix/.tarvex-wine-sandbox"
forged=("TARVEX_WINE_SANDBOX=$ns" "WINEPREFIX=$scratch/prefix" "TARVEX_WINE_PREFIX=$scratch/prefix"
  "TARVEX_WINE_PRELOAD=$scratch/guard.so")

check "wine-exec outside the sandbox" 3 "not inside the Wine sandbox" \
  "${clean[@]}" "$dir/wine-exec" test.exe
check "wine-exec with forged variables on the machine's /dev" 3 "/dev is not the sandbox's" \
  "${clean[@]}" "${forged[@]}" "$dir/wine-exec" test.exe

# A /dev that carries the sandbox's mark, in a namespace of its own: only the prefix is wrong.
in_marked_dev() {
  # shellcheck disable=SC2016  # expanded by the inner shell
  unshare --mount --propagation private -- bash -c '
    mount -t tmpfs tarvex-test-dev /dev
    readlink /proc/self/ns/mnt >/dev/.tarvex-wine-sandbox
    ns="$(readlink /proc/self/ns/mnt)"
    echo "$ns" >"$0/prefix/.tarvex-wine-sandbox"
    export TARVEX_WINE_SANDBOX="$ns"
    exec "$@"' "$scratch" "$@"
}
check "wine-exec with another prefix" 3 "WINEPREFIX is not the prefix" \
  in_marked_dev "${clean[@]}" "WINEPREFIX=/root/.wine" "TARVEX_WINE_PREFIX=$scratch/prefix" \
  "TARVEX_WINE_PRELOAD=$scratch/guard.so" "$dir/wine-exec" test.exe
check "wine-exec without the guard library" 3 "guard library is missing" \
  in_marked_dev "${clean[@]}" "WINEPREFIX=$scratch/prefix" "TARVEX_WINE_PREFIX=$scratch/prefix" \
  "TARVEX_WINE_PRELOAD=$scratch/none.so" "$dir/wine-exec" test.exe
check "wine-exec without the launcher" 3 "launcher is missing" \
  in_marked_dev "${clean[@]}" "WINEPREFIX=$scratch/prefix" "TARVEX_WINE_PREFIX=$scratch/prefix" \
  "TARVEX_WINE_PRELOAD=$scratch/guard.so" "TARVEX_WINE_START=$scratch/none" "$dir/wine-exec" test.exe
mkdir -p "$scratch/prefix/drive_c/users/u"
ln -s "$scratch" "$scratch/prefix/drive_c/users/u/Desktop"
check "wine-exec with a shell folder leading outside the prefix" 3 "Desktop -> $scratch leads" \
  in_marked_dev "${clean[@]}" "WINEPREFIX=$scratch/prefix" "TARVEX_WINE_PREFIX=$scratch/prefix" \
  "TARVEX_WINE_PRELOAD=$scratch/guard.so" "TARVEX_WINE_START=$launcher" "$dir/wine-exec" test.exe
rm "$scratch/prefix/drive_c/users/u/Desktop"
ln -s "$scratch/prefix/drive_c/users/u" "$scratch/prefix/drive_c/users/u/Documents"

# The same with everything in place (a shell folder inside the prefix) starts (the stand-in) Wine with the guard first: the cases
# above would have seen a faulty check.
status=0
in_marked_dev "${clean[@]}" "WINEPREFIX=$scratch/prefix" "TARVEX_WINE_PREFIX=$scratch/prefix" \
  "TARVEX_WINE_PRELOAD=$scratch/guard.so" "TARVEX_WINE_START=$launcher" "LD_PRELOAD=other.so" \
  "$dir/wine-exec" test.exe \
  >/dev/null 2>&1 || status=$?
if [ "$status" -eq 99 ] && [ "$(cat "$scratch/wine-started" 2>/dev/null)" = "$scratch/guard.so:other.so" ]; then
  echo "ok   wine-exec inside the sandbox starts Wine with the guard first"
else
  echo "FAIL wine-exec inside the sandbox: status $status, LD_PRELOAD $(cat "$scratch/wine-started" 2>/dev/null)"
  failures=$((failures + 1))
fi
rm -f "$scratch/wine-started"

check "run without a command" 2 "usage:" "${clean[@]}" "$dir/run" --
check "run inside a sandbox" 1 "do not nest" "${clean[@]}" TARVEX_WINE_SANDBOX=x "$dir/run" -- true
check "run without the line server" 1 "tarvex-wine-line" \
  "${clean[@]}" "$dir/run" --native-bin "$scratch/none" -- true

# The inner stage started where the outer one runs, as a faulty "am I inside?" would. The missing
# line server makes a broken check end quickly inside the private namespace. The second case
# keeps its shell as run's parent (no exec), so that the parent shares run's namespace.
# shellcheck disable=SC2016  # expanded by the inner shell
check "run's inner stage in the outer namespace" 1 "not in a mount namespace of its own" \
  unshare --mount --propagation private -- bash -c '
    export TARVEX_WINE_STAGE=entering TARVEX_WINE_OUTER_NS="$(readlink /proc/self/ns/mnt)"
    exec "$@"' _ "${clean[@]}" "$dir/run" --native-bin "$scratch/none" -- true
# shellcheck disable=SC2016  # expanded by the inner shell
check "run's inner stage beside its parent" 1 "not in a mount namespace of its own" \
  unshare --mount --propagation private -- bash -c '
    TARVEX_WINE_STAGE=entering TARVEX_WINE_OUTER_NS="mnt:[1]" "$@" || exit' \
  _ "${clean[@]}" "$dir/run" --native-bin "$scratch/none" -- true

[ "$failures" -eq 0 ]
