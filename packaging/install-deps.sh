#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages listed in packaging/debian-packages.txt that are not
# installed yet: apt-get as root, sudo otherwise. Does nothing when all are present.
#
#   install-deps.sh [ARCH]
#   install-deps.sh --system-test
#
# With ARCH (a Debian architecture other than the machine's, e.g. arm64) it also adds
# that architecture to dpkg and installs what a cross build for it needs
# (debian-packages-cross.txt). Without it, nothing of another architecture is touched.
# With --system-test it installs what the whole-system test needs besides
# (debian-packages-system-test.txt: qemu, mmdebstrap).
set -eu
here=$(dirname "$0")
arch=${1:-}
list=$here/debian-packages.txt
if [ "$arch" = --system-test ]; then
    arch=""
    list=$here/debian-packages-system-test.txt
fi
[ "$arch" = "$(dpkg --print-architecture)" ] && arch=""

packages() { grep -v -E '^\s*(#|$)' "$1" | sed "s/@ARCH@/$arch/g"; }
wanted=$(packages "$list")
[ -n "$arch" ] && wanted="$wanted $(packages "$here/debian-packages-cross.txt")"

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
updated=""
if [ -n "$arch" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "Adding the $arch architecture to dpkg"
    $sudo dpkg --add-architecture "$arch"
    $sudo apt-get -o DPkg::Lock::Timeout=900 update
    updated=yes
fi

missing=""
for pkg in $wanted; do
    # npm comes with some builds of nodejs: then the command is there without the package.
    if [ "$pkg" = npm ] && command -v npm >/dev/null 2>&1; then continue; fi
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $pkg" ;;
    esac
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
[ -n "$updated" ] || $sudo apt-get -o DPkg::Lock::Timeout=900 update
# shellcheck disable=SC2086
$sudo apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends $missing
