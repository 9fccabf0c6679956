#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree into a scratch prefix and checks what a desktop, udev, systemd
# and polkit find there: exactly the expected files, a valid desktop entry whose command and
# icon are installed, valid AppStream metadata, the udev rule, the logger's service unit
# (systemd-analyze verify), its account (systemd-sysusers into a scratch root) and polkit
# rule, the launcher's data folder and its autostart entry.
#
#   check_install.sh BUILD_DIR [EMULATOR...]
set -eu
build=$1
shift
emulator="$*" # a cross build's emulator, which runs the built programs
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

id=org.nocturo.Nocturo
viewer=org.nocturo.Viewer
prefix=$tmp/usr
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log" >&2; fail "cmake --install"; }

# Exactly these files, so a stray install (a test, a header) shows up too.
(cd "$prefix" && find . -type f | LC_ALL=C sort) >"$tmp/found"
{
cat <<LIST
./bin/nocturo
./bin/nocturo-collect
./bin/nocturo-logger
./bin/nocturo-station
./bin/nocturo-view
./bin/nocturo-web
./lib/modules-load.d/nocturo.conf
./lib/systemd/system/nocturo-collect.service
./lib/systemd/system/nocturo-logger.service
./lib/systemd/system/nocturo-web.service
./lib/sysusers.d/nocturo-collect.conf
./lib/sysusers.d/nocturo-web.conf
./lib/sysusers.d/nocturo.conf
./lib/udev/rules.d/70-nocturo.rules
./share/applications/$id.desktop
./share/applications/$viewer.desktop
./share/doc/nocturo/changelog.gz
./share/doc/nocturo/copyright
./share/icons/hicolor/scalable/apps/$id.svg
./share/man/man1/nocturo-collect.1.gz
./share/man/man1/nocturo-logger.1.gz
./share/man/man1/nocturo-station.1.gz
./share/man/man1/nocturo-view.1.gz
./share/man/man1/nocturo-web.1.gz
./share/man/man1/nocturo.1.gz
./share/metainfo/$id.metainfo.xml
./share/nocturo/web/app.js
./share/nocturo/web/early.js
./share/nocturo/web/index.html
./share/nocturo/web/land-110m.json
./share/nocturo/web/style.css
./share/nocturo/web/uplot.css
./share/polkit-1/rules.d/50-nocturo-reboot.rules
LIST
# The INDI driver and its XML, in builds that have it (not the cross builds).
if grep -q '^NOCTURO_INDI:BOOL=ON' "$build/CMakeCache.txt"; then
    echo ./bin/indi_nocturo
    echo ./share/indi/indi_nocturo.xml
    echo ./share/man/man1/indi_nocturo.1.gz
fi
} | LC_ALL=C sort >"$tmp/expected"
diff -u "$tmp/expected" "$tmp/found" || fail "installed files differ"
[ -x "$prefix/bin/nocturo" ] && [ -x "$prefix/bin/nocturo-station" ] &&
    [ -x "$prefix/bin/nocturo-view" ] || fail "programs not executable"

# Desktop entry and AppStream metadata. Hints (two main categories) are not errors.
desktop=$prefix/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop entry invalid"
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_cmd" ] || fail "Exec=$exec_cmd is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon not installed"
grep -q '^Terminal=false$' "$desktop" || fail "desktop entry opens a terminal"

# The viewer's own entry, under its own name.
entry=$prefix/share/applications/$viewer.desktop
desktop-file-validate "$entry" || fail "viewer desktop entry invalid"
grep -q '^Name=Nocturo Viewer$' "$entry" || fail "viewer desktop entry is not named Nocturo Viewer"
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ "$exec_cmd" = nocturo-view ] && [ -x "$prefix/bin/$exec_cmd" ] ||
    fail "viewer Exec=$exec_cmd is not the installed viewer"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "viewer Icon=$icon not installed"
grep -q '^Terminal=false$' "$entry" || fail "viewer desktop entry opens a terminal"
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
# The logger service's group gets the sensor too.
grep -v '^#' "$rule" | grep 'ATTR{idVendor}=="04d8"' | grep 'ATTR{idProduct}=="000c"' |
    grep -q 'GROUP="nocturo"' || fail "udev rule does not give the sensor to the group nocturo"

# The logger: a program without a display, on QtCore.
logger=$prefix/bin/nocturo-logger
[ -x "$logger" ] || fail "nocturo-logger not executable"
# shellcheck disable=SC2086
$emulator "$logger" --version | grep -q '^nocturo-logger ' || fail "nocturo-logger --version"
readelf -d "$logger" | grep -E 'NEEDED.*libQt6(Widgets|Gui)' && fail "the logger links Qt Widgets or Gui"

# Its service, as systemd reads it: valid (the program it starts is installed), of the
# kinds and hardening it must have, and not enabled by anything installed.
unit=$prefix/lib/systemd/system/nocturo-logger.service
systemd-analyze verify --man=no "$unit" >"$tmp/verify.log" 2>&1 ||
    { cat "$tmp/verify.log" >&2; fail "systemd-analyze verify"; }
grep -q "^ExecStart=$logger --data-dir %S/nocturo " "$unit" || fail "ExecStart: $(grep ExecStart= "$unit")"
for line in Type=notify WatchdogSec=30 Restart=always User=nocturo StateDirectory=nocturo \
    ProtectSystem=strict ProtectHome=yes PrivateTmp=yes NoNewPrivileges=yes \
    'DeviceAllow=char-usb_device rw' 'RestrictAddressFamilies=AF_UNIX AF_NETLINK' \
    WantedBy=multi-user.target; do
    grep -q -x -F "$line" "$unit" || fail "the unit lacks $line"
done
# The USB device class that DeviceAllow= names exists when the service starts: USB's core
# is loaded by modules-load.d, and the service is ordered after it.
grep -q -x usbcore "$prefix/lib/modules-load.d/nocturo.conf" || fail "modules-load.d does not load usbcore"
grep -E '^After=' "$unit" | grep -q -w systemd-modules-load.service ||
    fail "the unit is not ordered after systemd-modules-load.service"
# The live station on a local socket for the INDI driver, in the service's runtime folder.
grep -q -x -F RuntimeDirectory=nocturo "$unit" || fail "the unit lacks RuntimeDirectory=nocturo"
grep -q -F -- '--state-socket %t/nocturo/state' "$unit" || fail "the unit streams no state"
# The INDI driver's XML names the installed driver, for clients that list drivers.
if [ -e "$prefix/bin/indi_nocturo" ]; then
    grep -q '<driver name="Nocturo">indi_nocturo</driver>' "$prefix/share/indi/indi_nocturo.xml" ||
        fail "indi_nocturo.xml does not name the driver"
    python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
        "$prefix/share/indi/indi_nocturo.xml" || fail "indi_nocturo.xml is not well-formed"
fi
# The reboot option: one line in a drop-in reaches the command line.
grep -q -F '$NOCTURO_LOGGER_OPTIONS' "$unit" || fail "no options variable for the drop-in"

# Its account, made by systemd-sysusers from the installed file into a scratch root.
sysroot=$tmp/sysroot
mkdir -p "$sysroot/etc"
systemd-sysusers --root="$sysroot" "$prefix/lib/sysusers.d/nocturo.conf" >"$tmp/sysusers.log" 2>&1 ||
    { cat "$tmp/sysusers.log" >&2; fail "systemd-sysusers"; }
account=$(grep '^nocturo:' "$sysroot/etc/passwd") || fail "no account nocturo"
uid=$(echo "$account" | cut -d: -f3)
[ "$uid" -gt 0 ] && [ "$uid" -lt 1000 ] || fail "nocturo is not a system account: $account"
[ "$(echo "$account" | cut -d: -f6)" = /var/lib/nocturo ] || fail "home: $account"
grep -q '^nocturo:' "$sysroot/etc/group" || fail "no group nocturo"

# The archive's collector: without a window, its service valid and hardened, not enabled,
# under an account of its own.
collect=$prefix/bin/nocturo-collect
$emulator "$collect" --version | grep -q '^nocturo-collect ' || fail "nocturo-collect --version"
readelf -d "$collect" | grep -E 'NEEDED.*libQt6(Widgets|Gui)' && fail "the collector links Qt Widgets or Gui"
unit=$prefix/lib/systemd/system/nocturo-collect.service
systemd-analyze verify --man=no "$unit" >"$tmp/verify.log" 2>&1 ||
    { cat "$tmp/verify.log" >&2; fail "systemd-analyze verify of the collector's unit"; }
grep -q "^ExecStart=$collect " "$unit" || fail "ExecStart: $(grep ExecStart= "$unit")"
for line in Type=notify Restart=always User=nocturo-collect StateDirectory=nocturo-collect \
    ProtectSystem=strict ProtectHome=yes PrivateTmp=yes PrivateDevices=yes NoNewPrivileges=yes \
    'RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6' WantedBy=multi-user.target; do
    grep -q -x -F "$line" "$unit" || fail "the collector's unit lacks $line"
done
grep -q '^WatchdogSec=' "$unit" || fail "the collector's unit has no watchdog"
systemd-sysusers --root="$sysroot" "$prefix/lib/sysusers.d/nocturo-collect.conf" \
    >"$tmp/sysusers.log" 2>&1 || { cat "$tmp/sysusers.log" >&2; fail "systemd-sysusers (collector)"; }
account=$(grep '^nocturo-collect:' "$sysroot/etc/passwd") || fail "no account nocturo-collect"
[ "$(echo "$account" | cut -d: -f6)" = /var/lib/nocturo-collect ] || fail "home: $account"

# The web service: without a window, its pages installed, its service valid and hardened,
# not enabled, under an account of its own.
web=$prefix/bin/nocturo-web
$emulator "$web" --version | grep -q '^nocturo-web ' || fail "nocturo-web --version"
readelf -d "$web" | grep -E 'NEEDED.*libQt6(Widgets|Gui)' && fail "the web service links Qt Widgets or Gui"
unit=$prefix/lib/systemd/system/nocturo-web.service
systemd-analyze verify --man=no "$unit" >"$tmp/verify.log" 2>&1 ||
    { cat "$tmp/verify.log" >&2; fail "systemd-analyze verify of the web service's unit"; }
grep -q "^ExecStart=$web --listen 127.0.0.1:" "$unit" || fail "ExecStart: $(grep ExecStart= "$unit")"
for line in User=nocturo-web ProtectSystem=strict PrivateTmp=yes NoNewPrivileges=yes \
    'RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6' WantedBy=multi-user.target; do
    grep -q -x -F "$line" "$unit" || fail "the web service's unit lacks $line"
done
systemd-sysusers --root="$sysroot" "$prefix/lib/sysusers.d/nocturo-web.conf" \
    >"$tmp/sysusers.log" 2>&1 || { cat "$tmp/sysusers.log" >&2; fail "systemd-sysusers (web)"; }
grep -q '^nocturo-web:' "$sysroot/etc/passwd" || fail "no account nocturo-web"

# The reboot for that account alone, the three actions a forced reboot needs.
polkit=$prefix/share/polkit-1/rules.d/50-nocturo-reboot.rules
for action in reboot reboot-multiple-sessions reboot-ignore-inhibit; do
    grep -q "\"org.freedesktop.login1.$action\"" "$polkit" || fail "polkit rule lacks $action"
done
[ "$(grep -c 'subject.user' "$polkit")" -eq 1 ] && grep -q 'subject.user == "nocturo")' "$polkit" ||
    fail "the polkit rule is not for the account nocturo alone"

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

# The autostart entry: valid, in $XDG_CONFIG_HOME/autostart or ~/.config/autostart, running
# the installed launcher with the folder given (names that need quoting included), and
# gone again with --no-autostart.
auto=$tmp/config/autostart/$id.desktop
launch XDG_CONFIG_HOME="$tmp/config" "$prefix/bin/nocturo-station" --autostart \
    "$tmp/my \"logs\" \$HOME 100%" >/dev/null || fail "--autostart"
desktop-file-validate "$auto" || fail "autostart entry invalid"
# Exec quotes the folder and escapes " and $ inside, then doubles each \ for the entry's
# own escapes; % is written %%.
expected=$(printf 'Exec=%s "%s/my \\\\"logs\\\\" \\\\$HOME 100%%%%"' "$prefix/bin/nocturo-station" "$tmp")
grep -q -x -F -- "$expected" "$auto" || fail "autostart $(grep '^Exec=' "$auto"), not $expected"
launch XDG_CONFIG_HOME="$tmp/config" "$prefix/bin/nocturo-station" --no-autostart >/dev/null ||
    fail "--no-autostart"
[ -e "$auto" ] && fail "--no-autostart left the entry"
launch "$prefix/bin/nocturo-station" --autostart >/dev/null || fail "--autostart (HOME)"
desktop-file-validate "$tmp/home/.config/autostart/$id.desktop" || fail "autostart entry invalid"
grep -q "^Exec=$prefix/bin/nocturo-station\$" "$tmp/home/.config/autostart/$id.desktop" ||
    fail "autostart Exec without a folder"
echo "install layout ok"
