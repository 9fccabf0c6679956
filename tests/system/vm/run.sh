#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The whole-system test: the Debian package installed and run as a station's operator
# would, on a Debian 12 machine booted under qemu (KVM when this machine allows it, else
# TCG) with systemd, udev, polkit and logind real, and the emulated sensor seen by the
# guest's kernel through qemu's USB redirection.
#
#   run.sh BUILD_DIR
#
# BUILD_DIR is a build tree of this project with its tools (the emulated sensor, or the
# program SENSOR_EMULATOR names); its
# package is made with cpack, and a second one with a higher version for the upgrade.
# Work files go to BUILD_DIR/system-test (the machine's image is kept there between runs).
# The scenarios run inside the guest (guest.sh); this script starts the emulated sensor
# and the machine, carries the guest's requests out (fault keys, the power cut), and
# prints each phase's time and each scenario's result. It ends every process it started,
# however it ends. Exit status 0 when every scenario passed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../.." && pwd)
build=$(cd "$1" && pwd)
work=$build/system-test
run=$work/run
share=$run/share
emulator_bin=${SENSOR_EMULATOR:-$build/tools/sensor-emulator}
# The light of a day compressed into ten minutes; the temperature held, so that a reply
# read as another command's value cannot pass unnoticed.
day_seconds=600
temperature=21.5

emulator_pid="" qemu_pid=""
cleanup() {
    local status=$? pid
    set +e
    for pid in $qemu_pid $emulator_pid; do
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    exec 3>&-
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

start_all=$SECONDS
phase_start=$SECONDS
phases=()
phase_done() {
    local line
    line=$(printf '%5d s  %s' $((SECONDS - phase_start)) "$1")
    phases+=("$line")
    echo "=== $line"
    phase_start=$SECONDS
}
load() { cut -d' ' -f1-3 /proc/loadavg; }
echo "=== system test: load average $(load) on $(nproc) cores"

rm -rf "$run"
mkdir -p "$share" "$work"

# --- the packages ----------------------------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -B "$run/cpack" -G DEB >"$run/cpack.log" 2>&1 ||
    { cat "$run/cpack.log" >&2; exit 1; }
old_deb=$(ls "$run"/cpack/nocturo_*.deb)
version=$(dpkg-deb -f "$old_deb" Version)
new_version=$version+1
dpkg-deb -R "$old_deb" "$run/repack"
sed -i "s/^Version: .*/Version: $new_version/" "$run/repack/DEBIAN/control"
dpkg-deb --root-owner-group -Zxz -b "$run/repack" "$share/new.deb" >/dev/null
rm -rf "$run/repack"
cp "$old_deb" "$share/old.deb"
echo "$new_version" >"$share/new-version"
phase_done "package: nocturo $version, and $new_version for the upgrade"

# --- the machine's image ---------------------------------------------------------------
image=$(sh "$here/image.sh" "$work" "$share/old.deb")
qemu-img create -q -f qcow2 -b "$image/disk.img" -F raw "$run/disk.qcow2"
phase_done "image ($(basename "$image"))"

# --- the share -------------------------------------------------------------------------
cp "$here/guest.sh" "$share/guest.sh"
sh "$src/tests/packaging/readme_dropins.sh" "$src/docs/station.md" "$run/dropins" >/dev/null
# The user guide's drop-in that sets the reboot option together with a second one.
dropin=$(grep -l -e '--reboot-after-failure --send-delay' "$run"/dropins/dropin-*.conf | head -n 1)
[ -n "$dropin" ] || { echo "docs/station.md has no drop-in with --reboot-after-failure --send-delay" >&2; exit 1; }
cp "$dropin" "$share/dropin.conf"
echo "$temperature" >"$share/temperature"
touch "$share/requests" "$share/progress" "$share/results"

# --- the emulated sensor ---------------------------------------------------------------
sock=$run/sensor.sock
mkfifo "$run/keys"
exec 3<>"$run/keys"
start_emulator() {
    rm -f "$sock"
    "$emulator_bin" --usbredir "$sock" --day-seconds "$day_seconds" \
        --temperature "$temperature" <>"$run/keys" 2>>"$run/emulator.log" &
    emulator_pid=$!
    local i=0
    until [ -S "$sock" ]; do
        kill -0 "$emulator_pid" 2>/dev/null || { cat "$run/emulator.log" >&2; exit 1; }
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "the emulated sensor made no socket in 10 s" >&2; exit 1; }
        sleep 0.1
    done
}
stop_emulator() {
    kill -TERM "$emulator_pid" 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || true
    emulator_pid=""
}

# --- the machine -----------------------------------------------------------------------
# KVM where this machine can run guests with it: /dev/kvm usable and the processor's
# virtualisation visible (a virtual machine without nested virtualisation may have the
# device and still not run a guest). Else qemu's emulation, TCG.
if [ -r /dev/kvm ] && [ -w /dev/kvm ] && grep -q -w -E 'vmx|svm' /proc/cpuinfo; then
    accel="-accel kvm -accel tcg"; guard=1200
else
    accel="-accel tcg"; guard=2400
fi
boots=0
start_machine() {
    boots=$((boots + 1))
    # shellcheck disable=SC2086
    qemu-system-x86_64 $accel -machine q35 -cpu max -smp 2 -m 1024 \
        -display none -monitor none -serial "file:$run/console-$boots.log" \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 quiet no_timer_check mitigations=off" \
        -drive "file=$run/disk.qcow2,if=virtio,format=qcow2" \
        -virtfs "local,path=$share,mount_tag=share,security_model=none,id=share" \
        -nic none \
        -device qemu-xhci,id=xhci \
        -chardev "socket,id=sensor,path=$sock,reconnect=1" -device usb-redir,chardev=sensor,bus=xhci.0 \
        >"$run/qemu-$boots.log" 2>&1 &
    qemu_pid=$!
}

start_emulator
start_machine
echo "=== machine started (${accel//-accel /}; guard ${guard} s)"
handled=0 shown=0 reboots_seen=0 finished="" at_reboot=""
deadline=$((SECONDS + guard))
while [ -z "$finished" ]; do
    if [ $SECONDS -gt $deadline ]; then
        echo "FAIL: the scenarios did not end within $guard s" >&2
        break
    fi
    # A reboot inside the machine (same qemu): keys asked for at the next boot are sent.
    seen=$(cat "$run"/console-$boots.log 2>/dev/null | grep -c 'reboot: Restarting system' || true)
    if [ "$seen" -gt "$reboots_seen" ]; then
        reboots_seen=$seen
        echo "=== the machine restarts"
        [ -n "$at_reboot" ] && printf '%s' "$at_reboot" >&3 && at_reboot=""
    fi
    # The guest's lines as they come, with this side's time; a boot's first line and each
    # result end a phase.
    mapfile -t lines <"$share/progress"
    while [ $shown -lt ${#lines[@]} ]; do
        text=${lines[$shown]#* }
        shown=$((shown + 1))
        printf '%5d s  guest: %s\n' $((SECONDS - start_all)) "$text"
        case $text in
            "boot "*) phase_done "${text%% (*}: up, the scenarios start" ;;
            PASS* | FAIL*) phase_done "${text%%:*}" ;;
        esac
    done
    mapfile -t lines <"$share/requests"
    while [ $handled -lt ${#lines[@]} ]; do
        req=${lines[$handled]}
        handled=$((handled + 1))
        case $req in
            "key "?) printf '%s' "${req#key }" >&3 ;;
            "key-at-reboot "?) at_reboot=$at_reboot${req#key-at-reboot } ;;
            powercut)
                kill -KILL "$qemu_pid"
                wait "$qemu_pid" 2>/dev/null || true
                qemu_pid=""
                echo "=== power cut"
                reboots_seen=0
                start_machine
                ;;
            done) finished=yes ;;
        esac
    done
    if [ -n "$qemu_pid" ] && ! kill -0 "$qemu_pid" 2>/dev/null; then
        wait "$qemu_pid" 2>/dev/null || true
        qemu_pid=""
        [ -n "$finished" ] || { echo "FAIL: the machine ended before the scenarios did" >&2; break; }
    fi
    sleep 0.5
done
if [ -n "$qemu_pid" ]; then
    # After "done" the guest powers off; the guard is generous.
    for _ in $(seq 240); do kill -0 "$qemu_pid" 2>/dev/null || break; sleep 0.5; done
    kill -KILL "$qemu_pid" 2>/dev/null || true
    wait "$qemu_pid" 2>/dev/null || true
    qemu_pid=""
fi
phase_done "power-off"
stop_emulator

echo "=== results ($(grep -o -m1 'guards x[0-9]*' "$share/progress" || echo '?'), load average $(load))"
cat "$share/results"
echo "=== times"
printf '%s\n' "${phases[@]}"
printf '%5d s  total\n' $((SECONDS - start_all))
echo "(files: $run)"
expected="install-and-enable records unplug-and-replug late-reply systemctl-reboot readme-drop-in forced-reboot power-cut upgrade purge"
status=0
for name in $expected; do
    if ! grep -q -E "^PASS $name(:|\$)" "$share/results"; then
        grep -q -E "^[A-Z]+ $name(:|\$)" "$share/results" || echo "MISSING $name"
        status=1
    fi
done
grep -q '^FAIL' "$share/results" && status=1
if [ $status -ne 0 ]; then
    echo "=== the machine's console, last lines"
    tail -n 40 "$run/console-$boots.log" || true
    for f in "$share"/usb-*.txt; do
        [ -e "$f" ] && { echo "=== $(basename "$f")"; cat "$f"; }
    done
    echo "=== the emulated sensor, last lines"
    tail -n 40 "$run/emulator.log" || true
fi
exit $status
