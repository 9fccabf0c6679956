#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The whole-system test's machine: a Debian 12 system made by mmdebstrap from the archive
# this machine's apt uses, with systemd, udev, dbus, polkit, the kernel, and every package
# the given Debian packages depend on already installed (the image has no package lists:
# the test installs its packages with dpkg -i). The system is made as a directory and
# written into an ext4 image file by mkfs.ext4 -d: no loop device and no mount.
#
#   image.sh CACHE_DIR DEB...
#
# Prints the directory holding disk.img, vmlinuz and initrd.img (the image's own kernel).
# An image is kept under CACHE_DIR, named by a digest of its package list, this script
# and the archive's sources, and made again only when one of them changes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cache=$1
shift

# The packages' dependencies, first alternative of each, without versions.
depends=$(for deb in "$@"; do dpkg-deb -f "$deb" Depends; done | tr ',' '\n' |
    sed -e 's/|.*//' -e 's/(.*)//' -e 's/[[:space:]]//g' -e '/^$/d')
packages=$(printf '%s\n' systemd systemd-sysv udev dbus polkitd libpam-systemd \
    linux-image-amd64 initramfs-tools kmod procps usbutils mawk $depends | sort -u)

# The archive: apt's deb822 sources of this machine, else its one-line sources.list.
sources=""
for f in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list; do
    [ -s "$f" ] || continue
    grep -q -E '^(URIs:.*debian|deb .*debian)' "$f" || continue
    sources="$sources $f"
done
[ -n "$sources" ] || sources="http://deb.debian.org/debian"

# shellcheck disable=SC2086
key=$({ printf '%s\n' "$packages"; cat "$0" "$here/image-customize.sh"; cat $sources 2>/dev/null || echo $sources; } |
    sha256sum | cut -c1-16)
out=$cache/image-$key
if [ -s "$out/disk.img" ] && [ -s "$out/vmlinuz" ] && [ -s "$out/initrd.img" ]; then
    echo "$out"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
mkdir -p "$cache"
# Older images go: one is kept.
for old in "$cache"/image-*; do [ -e "$old" ] && $sudo rm -rf --one-file-system "$old"; done
tmp=$cache/image-tmp
$sudo rm -rf --one-file-system "$tmp"
mkdir -p "$tmp"
root=$tmp/root

echo "image: mmdebstrap bookworm with:" $packages >&2
# shellcheck disable=SC2086
$sudo mmdebstrap --variant=apt --mode=root --format=directory --quiet \
    --include="$(echo $packages | tr ' ' ',')" \
    --setup-hook="sh $here/image-customize.sh setup \"\$1\"" \
    --customize-hook="sh $here/image-customize.sh customize \"\$1\"" \
    bookworm "$root" $sources >&2

cp "$root"/boot/vmlinuz-* "$tmp/vmlinuz"
cp "$root"/boot/initrd.img-* "$tmp/initrd.img"
# Room for the packages and the records: the system's size and a margin, sparse.
size=$(( $($sudo du -sm "$root" | cut -f1) + 768 ))
$sudo mkfs.ext4 -q -L nocturo-vm -d "$root" "$tmp/disk.img" "${size}M" >&2
$sudo rm -rf --one-file-system "$root"
[ -n "$sudo" ] && $sudo chown -R "$(id -u):$(id -g)" "$tmp"
mv "$tmp" "$out"
echo "$out"
