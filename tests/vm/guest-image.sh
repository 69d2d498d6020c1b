#!/usr/bin/env bash
# tests/vm/guest-image.sh WORK CLI
#
# Makes what the virtual machine boots, in WORK: an uncompressed kernel (WORK/vmlinux) and an
# initramfs (WORK/initrd.cpio.gz) with busybox, the USB serial, USB host and 9p modules, the
# command-line tool CLI with the libraries it links, the guest's /init and the scenarios. The
# kernel comes from Debian's package, fetched with apt-get download and unpacked into WORK (never
# installed on this machine); both are kept and made again only when their inputs change.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(realpath -m "$1")"
cli="$2"

fail() {
  echo "guest-image.sh: $*" >&2
  exit 1
}

# The modules the guest loads, by folder of the kernel tree; depmod sorts out their order.
MODULE_DIRS=(
  drivers/usb/common drivers/usb/core drivers/usb/host drivers/usb/serial
  drivers/virtio net/9p fs/9p fs/netfs fs/fscache
)

kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*-amd64\)$/\1/p' | head -n 1
}

fetch_package() {
  local package="$1" folder="$2"
  (cd "$folder" && apt-get download -q "$package" >/dev/null 2>&1) && return 0
  # An old package list names a kernel the archive no longer holds.
  [ "$(id -u)" -eq 0 ] && apt-get update -q >/dev/null 2>&1 &&
    (cd "$folder" && apt-get download -q "$package" >/dev/null)
}

# The ELF kernel inside vmlinuz: QEMU boots it directly, twice as fast as through the
# decompressor under emulation.
extract_vmlinux() {
  local vmlinuz="$1" out="$2" offset
  offset="$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | head -n 1 | cut -d: -f1)"
  [ -n "$offset" ] || fail "no xz stream in $vmlinuz"
  tail -c +"$((offset + 1))" "$vmlinuz" | xz -dc --single-stream >"$out.tmp"
  [ "$(head -c 4 "$out.tmp" | od -An -c | tr -d ' ')" = '177ELF' ] ||
    fail "$vmlinuz did not hold an ELF kernel"
  mv "$out.tmp" "$out"
}

prepare_kernel() {
  local package kver folder deb patterns=() dir
  package="$(kernel_package)"
  [ -n "$package" ] || fail "apt-cache names no kernel package for linux-image-amd64"
  kver="${package#linux-image-}"
  folder="$work/kernel"
  if [ -f "$folder/$kver/vmlinux" ]; then
    echo "$kver"
    return 0
  fi
  mkdir -p "$folder"
  deb="$(find "$folder" -maxdepth 1 -name "${package}_*.deb" | head -n 1)"
  if [ -z "$deb" ]; then
    echo "guest-image.sh: fetching $package (about 70 MB, once)" >&2
    fetch_package "$package" "$folder" || fail "apt-get download $package failed"
    deb="$(find "$folder" -maxdepth 1 -name "${package}_*.deb" | head -n 1)"
  fi
  rm -rf "$folder/$kver.tmp"
  mkdir -p "$folder/$kver.tmp"
  for dir in "${MODULE_DIRS[@]}"; do
    patterns+=("./lib/modules/$kver/kernel/$dir/*")
  done
  dpkg-deb --fsys-tarfile "$deb" |
    tar -x -C "$folder/$kver.tmp" --wildcards "./boot/vmlinuz-$kver" "${patterns[@]}"
  extract_vmlinux "$folder/$kver.tmp/boot/vmlinuz-$kver" "$folder/$kver.tmp/vmlinux"
  rm -rf "$folder/$kver.tmp/boot" "${folder:?}/$kver"
  mv "$folder/$kver.tmp" "$folder/$kver"
  echo "$kver"
}

# Every library the dynamic loader would take, at the same path, and the loader itself.
copy_with_libraries() {
  local program="$1" stage="$2" lib
  install -D -m 755 "$program" "$stage/bin/tarvex-cli"
  strip "$stage/bin/tarvex-cli"
  for lib in $(ldd "$program" | grep -o '/[^ ]*'); do
    install -D -m 755 "$lib" "$stage$lib"
  done
}

install_busybox() {
  local stage="$1" applet
  install -D -m 755 "$(command -v busybox)" "$stage/bin/busybox"
  for applet in $(busybox --list); do
    # A link named busybox would replace the program with a link to itself.
    [ "$applet" = busybox ] || ln -sf busybox "$stage/bin/$applet"
  done
  ln -s bin "$stage/sbin"
}

write_etc() {
  local stage="$1"
  mkdir -p "$stage/etc"
  printf 'root:x:0:0:root:/root:/bin/sh\ntester:x:1000:1000:tester:/tmp:/bin/sh\n' \
    >"$stage/etc/passwd"
  printf 'root:x:0:\ndialout:x:20:tester\ntester:x:1000:\n' >"$stage/etc/group"
  # Adapters belong to dialout, as udev makes them; the by-id link is udev's name.
  echo 'ttyUSB[0-9]+ 0:20 660 */init by-id' >"$stage/etc/mdev.conf"
}

build_initramfs() {
  local kver="$1" stage="$work/initramfs" out="$work/initrd.cpio.gz"
  rm -rf "$stage"
  mkdir -p "$stage"/{proc,sys,dev,share,tmp,root,scenarios,lib/modules}
  install_busybox "$stage"
  copy_with_libraries "$cli" "$stage"
  write_etc "$stage"
  cp -r "$work/kernel/$kver/lib/modules/$kver" "$stage/lib/modules/"
  busybox depmod -b "$stage" "$kver"
  install -m 755 "$here/init" "$stage/init"
  cp "$here"/scenarios/*.sh "$stage/scenarios/"
  (cd "$stage" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$out.tmp")
  mv "$out.tmp" "$out"
  rm -rf "$stage"
}

# 48 KiB in one segment, for a model that is woken: a data phase of about five seconds at time
# scale 0.05, long enough to be cut in the middle.
make_big_image() {
  head -c 49152 <(seq 100000) >"$work/big.bin"
  "$cli" pack -m "VUN D7 BIG" -o "$work/big.zfr" "$work/big.bin@0x10000" >/dev/null
  rm "$work/big.bin"
}

# True when OUT is missing or older than any of the inputs that follow.
stale() {
  local out="$1" input
  shift
  [ -f "$out" ] || return 0
  for input in "$@"; do
    [ "$input" -nt "$out" ] && return 0
  done
  return 1
}

[ -x "$cli" ] || fail "no command-line tool at $cli"
command -v busybox >/dev/null || fail "busybox is missing: run scripts/setup"
mkdir -p "$work"
exec 9>"$work/.lock"
flock 9
kver="$(prepare_kernel)"
ln -sf "kernel/$kver/vmlinux" "$work/vmlinux"
if stale "$work/initrd.cpio.gz" "$cli" "$here/init" "$here/guest-image.sh" "$here"/scenarios/*.sh \
  "$work/kernel/$kver/vmlinux"; then
  build_initramfs "$kver"
fi
if stale "$work/big.zfr" "$cli"; then
  make_big_image
fi
