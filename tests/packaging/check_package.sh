#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from this build tree, unpacks it into a scratch root
# (dpkg -x: no root needed, the machine is left as it is), starts the unpacked program
# offscreen in an empty folder for a few seconds, ends it with SIGTERM, and checks that it
# wrote nothing outside its working directory (home, temporary and runtime folders all
# point into the scratch area) and nothing there but daily logs. The logger's service is
# verified by systemd-analyze as the package installs it, and the maintainer scripts are
# run against a copy of the unpacked tree (DPKG_ROOT), with systemctl and udevadm stubbed.
# Lintian must find no error in the package.
# Last, the unpacked viewer exports a day to PNG with no display and no platform chosen
# for it.
#
#   check_package.sh BUILD_DIR ARCH [EMULATOR...]
#
# ARCH is the Debian architecture the package must have; a cross build's programs are run
# through EMULATOR (qemu-user).
set -eu
build=$1 arch=$2
shift 2
emulator="$*"
tmp=$(mktemp -d)
pid= job=
cleanup() {
    if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
    if [ -n "$job" ]; then kill -KILL "$job" 2>/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$tmp/cpack" -G DEB >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log" >&2; fail "cpack"; }
set -- "$tmp"/cpack/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one package, found: $*"
deb=$1

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = nocturo ] || fail "package name"
[ "$(field Section)" = science ] || fail "section"
[ "$(field Architecture)" = "$arch" ] || fail "architecture $(field Architecture), not $arch"
field Maintainer | grep -q '<.*@.*>' || fail "maintainer has no address"
depends=$(field Depends)
for lib in libqt6widgets6 libusb-1.0-0 libsystemd0 libc6 libmosquitto1; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done
# The MQTT client library, never the broker: a station publishes to a broker elsewhere.
echo "$depends" | tr ',' '\n' | grep -qE '^ *mosquitto( |$)' && fail "Depends on the broker: $depends"

root=$tmp/root
dpkg -x "$deb" "$root"
for f in usr/bin/nocturo usr/bin/nocturo-station usr/lib/udev/rules.d/70-nocturo.rules \
    usr/share/applications/org.nocturo.Nocturo.desktop usr/bin/nocturo-logger \
    usr/lib/systemd/system/nocturo-logger.service usr/lib/sysusers.d/nocturo.conf \
    usr/share/polkit-1/rules.d/50-nocturo-reboot.rules usr/bin/nocturo-view \
    usr/share/applications/org.nocturo.Viewer.desktop usr/bin/nocturo-collect \
    usr/lib/systemd/system/nocturo-collect.service usr/lib/sysusers.d/nocturo-collect.conf; do
    [ -e "$root/$f" ] || fail "package lacks /$f"
done
# A manual page for every program in usr/bin, each one man can read without a warning.
for program in "$root"/usr/bin/*; do
    page=$root/usr/share/man/man1/$(basename "$program").1.gz
    [ -f "$page" ] || fail "package lacks the manual page of $(basename "$program")"
    warnings=$(man --warnings -l -Tutf8 "$page" 2>&1 >/dev/null) ||
        fail "man cannot read $(basename "$page")"
    [ -z "$warnings" ] || fail "manual page $(basename "$page"): $warnings"
done
# The INDI driver where indiserver and the clients find it, in builds that have it.
if grep -q '^NOCTURO_INDI:BOOL=ON' "$build/CMakeCache.txt"; then
    for f in usr/bin/indi_nocturo usr/share/indi/indi_nocturo.xml; do
        [ -e "$root/$f" ] || fail "package lacks /$f"
    done
fi
dpkg-deb -e "$deb" "$tmp/control"
for script in preinst postinst prerm postrm; do
    [ -x "$tmp/control/$script" ] || fail "the package has no $script"
    sh -n "$tmp/control/$script" || fail "$script is not valid shell"
done

# The unit as the package installs it, verified by systemd against the unpacked tree with
# this machine's own units beside it (sysinit.target and the like).
vroot=$tmp/vroot
cp -a "$root" "$vroot"
[ -d /usr/lib/systemd/system ] && cp -an /usr/lib/systemd/system/. "$vroot/usr/lib/systemd/system/"
grep -q '^ExecStart=/usr/bin/nocturo-logger --data-dir %S/nocturo ' \
    "$vroot/usr/lib/systemd/system/nocturo-logger.service" || fail "ExecStart of the packaged unit"
systemd-analyze verify --root="$vroot" --man=no nocturo-logger.service >"$tmp/verify.log" 2>&1 ||
    { cat "$tmp/verify.log" >&2; fail "systemd-analyze verify on the unpacked package"; }
# The user guide's drop-ins, exactly as printed, taken by systemd without a word dropped.
dropins=$tmp/dropins
n=$(sh "$(dirname "$0")/readme_dropins.sh" "$(dirname "$0")/../../docs/station.md" "$dropins")
[ "$n" -ge 2 ] || fail "docs/station.md shows $n drop-ins of the logger service, not the two expected"
for dropin in "$dropins"/*.conf; do
    mkdir -p "$vroot/etc/systemd/system/nocturo-logger.service.d"
    cp "$dropin" "$vroot/etc/systemd/system/nocturo-logger.service.d/override.conf"
    systemd-analyze verify --root="$vroot" --man=no nocturo-logger.service >"$tmp/verify.log" 2>&1 ||
        { cat "$tmp/verify.log" >&2; fail "systemd-analyze verify with the user guide's $dropin"; }
    if grep -F 'override.conf' "$tmp/verify.log" >&2; then
        cat "$dropin" >&2
        fail "systemd drops part of the user guide's drop-in"
    fi
done
rm -rf "$vroot/etc/systemd/system/nocturo-logger.service.d"
# shellcheck disable=SC2086
$emulator "$root/usr/bin/nocturo-logger" --version | grep -q "^nocturo-logger $(field Version)\$" ||
    fail "the packaged logger's --version"
status=0
$emulator "$root/usr/bin/nocturo-logger" --send-delay 5 >/dev/null 2>"$tmp/err" || status=$?
[ $status -eq 2 ] && grep -q 'send-delay wants milliseconds' "$tmp/err" ||
    fail "the packaged logger took a wrong option (status $status)"

# The maintainer scripts on the copy: installation makes the account nocturo, enables and
# starts nothing; an upgrade, removal and purge keep the records; purge drops the
# enablement. systemctl and udevadm only record how they were called.
stubs=$tmp/stubs
mkdir -p "$stubs"
for cmd in systemctl udevadm deb-systemd-invoke; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$cmd" "$tmp/calls" >"$stubs/$cmd"
    chmod +x "$stubs/$cmd"
done
touch "$tmp/calls"
mkdir -p "$vroot/etc"
scripts() { env DPKG_ROOT="$vroot" PATH="$stubs:/usr/sbin:/usr/bin:/sbin:/bin" sh "$@"; }
# The group the udev rule names exists before the rule is unpacked.
scripts "$tmp/control/preinst" install || fail "preinst install"
grep -q '^nocturo:' "$vroot/etc/group" || fail "preinst made no group nocturo"
scripts "$tmp/control/postinst" configure || fail "postinst configure"
grep -q '^nocturo:' "$vroot/etc/passwd" || fail "postinst made no account nocturo"
grep -q '^nocturo:' "$vroot/etc/group" || fail "postinst made no group nocturo"
grep -E '(enable|start|restart)( |$)' "$tmp/calls" && fail "postinst enabled or started the service"
scripts "$tmp/control/postinst" configure "$(field Version)" || fail "postinst on an upgrade"
mkdir -p "$vroot/var/lib/nocturo" "$vroot/etc/systemd/system/multi-user.target.wants"
echo "2009-01-26 00:00:00  21.5    4936 3" >"$vroot/var/lib/nocturo/20090126.txt"
ln -s /usr/lib/systemd/system/nocturo-logger.service \
    "$vroot/etc/systemd/system/multi-user.target.wants/nocturo-logger.service"
scripts "$tmp/control/prerm" upgrade && scripts "$tmp/control/prerm" remove &&
    scripts "$tmp/control/postrm" remove || fail "prerm or postrm on removal"
[ -L "$vroot/etc/systemd/system/multi-user.target.wants/nocturo-logger.service" ] ||
    fail "a removal dropped the enablement, which a reinstallation would want back"
scripts "$tmp/control/postrm" purge || fail "postrm purge"
[ -e "$vroot/etc/systemd/system/multi-user.target.wants/nocturo-logger.service" ] &&
    fail "a purge left the service enabled"
[ -s "$vroot/var/lib/nocturo/20090126.txt" ] || fail "the records did not survive the purge"

# The history's latest entry is this version, so it cannot be left behind by a release.
doc=$root/usr/share/doc/nocturo
[ -f "$doc/copyright" ] || fail "package lacks its copyright file"
latest=$(gzip -dc "$doc/changelog.gz" | sed -n '1s/^nocturo (\([^)]*\)).*/\1/p')
[ "$latest" = "$(field Version)" ] || fail "changelog's latest entry is '$latest', not $(field Version)"

# Lintian's errors are what Debian would refuse; warnings and notes are shown only.
lintian --fail-on error --no-tag-display-limit "$deb" >"$tmp/lintian.log" 2>&1 ||
    { cat "$tmp/lintian.log" >&2; fail "lintian reports errors"; }
grep -E '^[WI]: ' "$tmp/lintian.log" || true

# A clean environment whose every writable place is in the scratch area. Sanitizer
# settings pass through so the sanitizer build runs this too. Where strace works, every
# call that creates, changes or removes a file is recorded as well, which also catches a
# write to a fixed path that no environment variable leads to.
home=$tmp/home work=$tmp/work runtime=$tmp/runtime scratch=$tmp/tmpdir
mkdir -p "$home" "$work" "$runtime" "$scratch"
chmod 700 "$runtime"
touch "$tmp/before"
set --
if readelf -d "$root/usr/bin/nocturo" | grep -q 'libasan'; then
    # LeakSanitizer cannot work under ptrace; here the program's own leak check at exit
    # is the point, and the folders are still checked.
    echo "note: sanitizer build, run without strace"
elif command -v strace >/dev/null 2>&1 && strace -qq -o /dev/null true 2>/dev/null; then
    set -- strace -f -qq -o "$tmp/trace" -e trace=open,openat,creat,mkdir,mkdirat,rename,renameat,renameat2,unlink,unlinkat,rmdir,link,linkat,symlink,symlinkat,truncate,chmod,fchmodat,chown,fchownat,lchown,utimensat
else
    echo "note: strace cannot trace here; checking the scratch folders only"
fi
(
    cd "$work"
    # The shell writes the program's process id, then becomes the program.
    exec "$@" sh -c 'echo $$ >"$1"; shift; exec "$@"' sh "$tmp/pid" \
        env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$scratch" XDG_RUNTIME_DIR="$runtime" \
        LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
        ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} \
        ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
        ${LSAN_OPTIONS+LSAN_OPTIONS="$LSAN_OPTIONS"} \
        $emulator "$root/usr/bin/nocturo"
) >"$tmp/program.log" 2>&1 &
job=$!
sleep 3
if ! kill -0 "$job" 2>/dev/null || [ ! -s "$tmp/pid" ]; then
    wait "$job" || true
    job=
    cat "$tmp/program.log" >&2
    fail "the program ended by itself within 3 s"
fi
pid=$(cat "$tmp/pid")
kill -TERM "$pid"
# It gets 10 s to save and close; a program that ignores SIGTERM fails here.
i=0
while kill -0 "$job" 2>/dev/null && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
done
kill -0 "$job" 2>/dev/null && { cat "$tmp/program.log" >&2; fail "still running 10 s after SIGTERM"; }
status=0
wait "$job" || status=$?
pid= job=
# 0: closed through its own shut-down; 143: ended by the signal's default action.
case $status in
    0 | 143) ;;
    *) cat "$tmp/program.log" >&2; fail "exit status $status after SIGTERM" ;;
esac

# Traced calls that succeeded (or were cut off by a thread switch) and name a path outside
# the working directory. Opens for reading only, devices, the process id file and links
# from /proc/self/fd (an unnamed temporary file given its name) are fine,
# and so is fontconfig's cache: the font library refreshes it by itself when the system's
# cache is out of date, which says nothing about the program.
if [ -f "$tmp/trace" ]; then
    outside=$(awk -v work="$work" -v pidfile="$tmp/pid" -v fccache="$home/.cache/fontconfig" '
        / = -1 / || $2 ~ /^(execve|\+\+\+|---|<\.\.\.)/ { next }
        $2 ~ /^(open|openat)\(/ && $0 !~ /O_WRONLY|O_RDWR|O_CREAT|O_TRUNC/ { next }
        {
            n = split($0, part, "\"")
            for (i = 2; i < n; i += 2) {
                p = part[i]
                if (p == pidfile || p ~ /^\/dev\// && p !~ /^\/dev\/shm\//) continue
                if (index(p, fccache) == 1 || p ~ /^\/proc\/(self|[0-9]+)\/fd\//) continue
                if (p ~ /^\// ? p != work && index(p, work "/") != 1 : p ~ /(^|\/)\.\.(\/|$)/) {
                    print
                    next
                }
            }
        }' "$tmp/trace")
    [ -z "$outside" ] || { echo "$outside" >&2; fail "changed files outside its folder"; }
fi

leftovers() { (cd "$1" && find . -mindepth 1 | sort); }
in_home=$(leftovers "$home" | grep -v -E '^\./\.cache(/fontconfig(/.*)?)?$' || true)
[ -z "$in_home" ] || { echo "$in_home" >&2; fail "wrote into HOME"; }
[ -z "$(leftovers "$scratch")" ] || { leftovers "$scratch" >&2; fail "wrote into TMPDIR"; }
[ -z "$(leftovers "$runtime")" ] || { leftovers "$runtime" >&2; fail "wrote into XDG_RUNTIME_DIR"; }
bad=$(leftovers "$work" | grep -v -E '^\./[0-9]{8}\.txt$' || true)
[ -z "$bad" ] || { echo "$bad" >&2; fail "wrote more than daily logs into its folder"; }
changed=$(find "$root" -newer "$tmp/before" | head -5)
[ -z "$changed" ] || { echo "$changed" >&2; fail "changed its installed files"; }
# The viewer from a station's timer: no display, nothing but its own output written.
view=$tmp/view
mkdir -p "$view"
printf '2009-01-26 12:00:0%s  21.5    1234 3\r\n' 0 1 2 3 4 5 6 7 8 9 >"$view/20090126.txt"
status=0
(cd "$view" && env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$scratch" XDG_RUNTIME_DIR="$runtime" \
    LANG=C.UTF-8 ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} \
    ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} ${LSAN_OPTIONS+LSAN_OPTIONS="$LSAN_OPTIONS"} \
    $emulator "$root/usr/bin/nocturo-view" --export day.png --day 2009-01-26 --size 400x300 .) \
    >"$tmp/view.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$tmp/view.log" >&2; fail "viewer export exited with $status"; }
head -c 8 "$view/day.png" | od -An -tx1 | grep -q '89 50 4e 47 0d 0a 1a 0a' || fail "viewer wrote no PNG"
bad=$(leftovers "$view" | grep -v -x -E '\./(20090126\.txt|day\.png)' || true)
[ -z "$bad" ] || { echo "$bad" >&2; fail "viewer wrote more than its picture"; }
echo "package ok: $(basename "$deb"), Depends: $depends"
