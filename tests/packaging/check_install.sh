#!/bin/sh
# Installs the build tree into a scratch prefix and checks what a desktop and udev find
# there: exactly the expected files, a valid desktop entry whose command and icon are
# installed, valid AppStream metadata, the udev rule, and the launcher's data folder.
#
#   check_install.sh BUILD_DIR
set -eu
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

id=org.nocturo.Nocturo
prefix=$tmp/usr
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log" >&2; fail "cmake --install"; }

# Exactly these files, so a stray install (a test, a header) shows up too.
(cd "$prefix" && find . -type f | sort) >"$tmp/found"
cat >"$tmp/expected" <<LIST
./bin/nocturo
./bin/nocturo-station
./lib/udev/rules.d/70-nocturo.rules
./share/applications/$id.desktop
./share/doc/nocturo/changelog.gz
./share/doc/nocturo/copyright
./share/icons/hicolor/scalable/apps/$id.svg
./share/metainfo/$id.metainfo.xml
LIST
diff -u "$tmp/expected" "$tmp/found" || fail "installed files differ"
[ -x "$prefix/bin/nocturo" ] && [ -x "$prefix/bin/nocturo-station" ] ||
    fail "programs not executable"

# Desktop entry and AppStream metadata. Hints (two main categories) are not errors.
desktop=$prefix/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop entry invalid"
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_cmd" ] || fail "Exec=$exec_cmd is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon not installed"
grep -q '^Terminal=false$' "$desktop" || fail "desktop entry opens a terminal"
metainfo=$prefix/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$tmp/as.log" 2>&1 ||
    { cat "$tmp/as.log" >&2; fail "AppStream metadata invalid"; }
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metadata does not launch the desktop entry"
grep -q '@[A-Z_]*@' "$metainfo" && fail "metadata has unreplaced placeholders"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
    fail "metadata does not give the project's licence"

# The licence in Debian's machine-readable form, pointing at the system's copy of the text.
copyright=$prefix/share/doc/nocturo/copyright
head -1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
    fail "copyright is not in the machine-readable format"
grep -q '^License: GPL-3+$' "$copyright" || fail "copyright does not name GPL-3+"
grep -q '/usr/share/common-licenses/GPL-3' "$copyright" || fail "copyright does not point at GPL-3"

# The udev rule tags the sensor for the seat's user; 73-seat-late.rules acts on the tag, so
# the rule file must sort before it.
rule=$prefix/lib/udev/rules.d/70-nocturo.rules
grep -v '^#' "$rule" | grep 'ATTR{idVendor}=="04d8"' | grep 'ATTR{idProduct}=="000c"' |
    grep -q 'TAG+="uaccess"' || fail "udev rule does not grant uaccess to 04d8:000c"
grep -v '^#' "$rule" | grep -q 'MODE=' && fail "udev rule opens the device to everyone"

# The launcher: a stand-in program reports the folder it was started in.
bin=$tmp/bin
mkdir -p "$bin" "$tmp/home"
cp "$prefix/bin/nocturo-station" "$bin/"
printf '#!/bin/sh\npwd\n' >"$bin/nocturo"
chmod +x "$bin/nocturo"
ln -s "$bin/nocturo-station" "$tmp/link-to-station"
launch() { env -u NOCTURO_DATA_DIR HOME="$tmp/home" "$@"; }

out=$(launch "$tmp/link-to-station") || fail "launcher failed with the default folder"
[ "$out" = "$tmp/home/Nocturo" ] || fail "default folder: started in '$out'"
out=$(launch NOCTURO_DATA_DIR="$tmp/from env" "$bin/nocturo-station") || fail "launcher (env)"
[ "$out" = "$tmp/from env" ] || fail "NOCTURO_DATA_DIR: started in '$out'"
out=$(launch NOCTURO_DATA_DIR="$tmp/from env" "$bin/nocturo-station" "$tmp/a b/logs") ||
    fail "launcher (argument)"
[ "$out" = "$tmp/a b/logs" ] || fail "folder argument: started in '$out'"
touch "$tmp/not-a-folder"
if launch "$bin/nocturo-station" "$tmp/not-a-folder" >"$tmp/out" 2>"$tmp/err"; then
    fail "launcher started the program without its data folder"
fi
[ -s "$tmp/out" ] && fail "program ran although the data folder is unusable"
grep -q 'cannot use the data folder' "$tmp/err" || fail "launcher gave no reason"
echo "install layout ok"
