#!/bin/sh
# Installs the Debian packages listed in packaging/debian-packages.txt that are not
# installed yet: apt-get as root, sudo otherwise. Does nothing when all are present.
set -eu
list="$(dirname "$0")/debian-packages.txt"
missing=""
for pkg in $(grep -v -E '^\s*(#|$)' "$list"); do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $pkg" ;;
    esac
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
# shellcheck disable=SC2086
$sudo apt-get install -y --no-install-recommends $missing
