#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The whole-system test's scenarios, run inside the machine as root at each boot by the
# image's system-test.service, from the share (/mnt/share) that run.sh fills and reads.
#
# The share holds the packages (old.deb, new.deb: the same program with a higher
# version), the README's drop-in (dropin.conf), and what this script writes back: the
# stage reached (stage), one line per result (results: PASS/FAIL name: why), its
# progress (progress), requests to the host (requests: "key X" for the emulated sensor,
# "powercut", "done"), and copies of day files and journals.
#
# Stages, one per boot: install (fresh machine) -> after-reboot (systemctl reboot) ->
# after-forced-reboot (the logger's own reboot) -> after-power-cut (the host killed the
# machine) -> finished. Every check is judged from the day files and the journal; the
# waits are only guards against a hang, longer under emulation without KVM.
[ -n "${BASH_VERSION:-}" ] || exec /bin/bash "$0" "$@"
set -u
share=/mnt/share
data=/var/lib/nocturo
unit=nocturo-logger
dropin_dir=/etc/systemd/system/$unit.service.d

# The sensor answers every temperature request with this value (run.sh starts the
# emulator so): any other temperature in a line but the failure mark is another reply.
held_temperature=$(cat "$share/temperature" 2>/dev/null || true)

# Guards scale with the emulation: several times longer without KVM.
case "$(systemd-detect-virt 2>/dev/null)" in
    kvm) scale=1 ;;
    *) scale=6 ;;
esac

log() {
    echo "system-test: $*" >/dev/console
    echo "$(date +%s) $*" >>"$share/progress"
}
result() { # PASS|FAIL NAME [WHY]
    echo "$1 $2${3:+: $3}" >>"$share/results"
    log "$1 $2${3:+: $3}"
}
request() {
    echo "$*" >>"$share/requests"
    log "request: $*"
}
set_stage() {
    echo "$1" >"$share/stage"
}
keep_journal() { # NAME [BOOT]
    journalctl -b "${2:-0}" -o short-precise --no-pager >"$share/journal-$1.txt" 2>&1
}
# What the machine knows of the sensor, for a scenario whose logger did not connect: the
# device nodes, the kernel's view, udev's, and the logger's own lines of this boot.
keep_usb_state() { # NAME
    {
        echo "--- /dev/bus/usb"; ls -l /dev/bus/usb/*/ 2>&1
        for d in /sys/bus/usb/devices/*; do
            [ -r "$d/idVendor" ] || continue
            echo "--- $d: $(cat "$d/idVendor"):$(cat "$d/idProduct") devnum $(cat "$d/devnum") config $(cat "$d/bConfigurationValue" 2>/dev/null)"
            udevadm info "$d" 2>&1 | grep -E 'DEVNAME|ID_PATH|TAGS|GROUP' || true
        done
        echo "--- the logger"
        systemctl show -p MainPID -p StatusText -p ActiveEnterTimestamp $unit
        journalctl -u $unit -b -o short-precise --no-pager | tail -n 30
    } >"$share/usb-$1.txt" 2>&1
}
keep_days() {
    mkdir -p "$share/days"
    cp -p "$data"/*.txt "$share/days/" 2>/dev/null || true
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, false after SECONDS (scaled).
wait_for() {
    local deadline=$((SECONDS + $1 * scale))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.5
    done
}

status_ok() { systemctl show -p StatusText --value $unit | grep -q '^Status: Ok'; }
journal_has() { # TEXT [SINCE]
    journalctl -u $unit -b ${2:+--since "$2"} -o cat --no-pager | grep -q -F -- "$1"
}
day_file() { echo "$data/$(date +%Y%m%d).txt"; }
now_tod() { date +%H:%M:%S; }

# The next save: the day file changes (the logger saves after second 29 of each minute).
wait_for_save() {
    local file=$1 before
    before=$(stat -c '%Y %s %i' "$file" 2>/dev/null || echo none)
    wait_for 75 sh -c '[ "$(stat -c "%Y %s %i" "$1" 2>/dev/null || echo none)" != "$2" ]' \
        sh "$file" "$before" || return 1
    sleep 1 # the renamed file is whole; a moment for a second save's rename to pass
}

# judge FILE FROM TO: the lines of FILE whose time of day lies in [FROM, TO] (hh:mm:ss).
# Prints "lines good failed wrong"; failed lines carry the failure mark (-273.1; range 0
# too when no light reading of the second succeeded), wrong lines are malformed or carry a
# value that no reply of the sensor gives for it.
judge() {
    awk -v from="$2" -v to="$3" -v held="$held_temperature" '
        { line = $0 }
        {
            t = substr(line, 12, 8)
            if (t < from || t > to) next
            n++
            if (line !~ /\r$/) { wrong++; print "no CR LF: " line > "/dev/stderr"; next }
            sub(/\r$/, "", line)
            if (line !~ /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] +-?[0-9]+\.[0-9] +[0-9]+ [0-5]$/) {
                wrong++; print "malformed: " line > "/dev/stderr"; next
            }
            split(line, f, " +")
            temp = f[3]; range = f[5]
            # A failed temperature reading (its mark), whether or not light was read.
            if (temp == "-273.1") { failed++; next }
            if (range == 0 || (held != "" && temp != held) || temp < -40 || temp > 80) {
                wrong++; print "wrong value: " line > "/dev/stderr"; next
            }
            good++
        }
        END { printf "%d %d %d %d\n", n, good, failed, wrong }' "$1"
}

# lines_right FILE FROM TO WHAT: at least one line in the span, none wrong, and none failed
# (under KVM; without it a reply may miss the logger's 50 ms time-out now and then, which
# the link recovers from: such lines are counted, not judged).
lines_right() {
    local counts n good failed wrong
    counts=$(judge "$1" "$2" "$3" 2>>"$share/judged.txt")
    read -r n good failed wrong <<<"$counts"
    log "$4: $2..$3: $n lines, $good good, $failed failed, $wrong wrong"
    [ "$n" -gt 0 ] && [ "$good" -gt 0 ] && [ "$wrong" -eq 0 ] &&
        { [ "$failed" -eq 0 ] || [ $scale -gt 1 ]; }
}

# no_wrong FILE FROM TO WHAT: lines in the span, none of them wrong (failed lines may be).
no_wrong() {
    local counts n good failed wrong
    counts=$(judge "$1" "$2" "$3" 2>>"$share/judged.txt")
    read -r n good failed wrong <<<"$counts"
    log "$4: $2..$3: $n lines, $good good, $failed failed, $wrong wrong"
    [ "$n" -gt 0 ] && [ "$wrong" -eq 0 ]
}

# is_prefix OLD NEW: NEW begins with the whole of OLD, byte for byte.
is_prefix() {
    local size
    size=$(stat -c %s "$1")
    [ "$size" -gt 0 ] && cmp -s -n "$size" "$1" "$2"
}

# Read with the shell's own read: each process costs much on an emulated processor.
sensor_node() {
    local dev vendor product bus num
    for dev in /sys/bus/usb/devices/*; do
        read -r vendor 2>/dev/null <"$dev/idVendor" || continue
        read -r product 2>/dev/null <"$dev/idProduct" || continue
        [ "$vendor:$product" = 04d8:000c ] || continue
        read -r bus <"$dev/busnum" && read -r num <"$dev/devnum" &&
            printf '/dev/bus/usb/%03d/%03d\n' "$bus" "$num" && return 0
    done
    return 1
}
sensor_group_is_nocturo() {
    local node
    node=$(sensor_node) && [ "$(stat -c %G "$node")" = nocturo ]
}

# --- boot 1: a fresh machine -----------------------------------------------------------
stage_install() {
    log "boot 1 ($(systemd-detect-virt), guards x$scale)"
    local start=$SECONDS
    if dpkg -i "$share/old.deb" >"$share/dpkg-install.txt" 2>&1 &&
        getent passwd nocturo >/dev/null &&
        [ "$(systemctl is-enabled $unit 2>&1)" = disabled ]; then
        log "installed in $((SECONDS - start)) s"
    else
        result FAIL install "dpkg -i, the account nocturo or the unit (see dpkg-install.txt)"
    fi
    if wait_for 10 sensor_group_is_nocturo; then
        log "the sensor $(sensor_node) belongs to the group nocturo"
    else
        local node
        node=$(sensor_node) || node="not found"
        result FAIL install "the plugged-in sensor is not given to the group nocturo ($node: $(stat -c '%U:%G %a' "$node" 2>&1))"
        udevadm info "$node" >"$share/udev-sensor.txt" 2>&1
        # What the README says to do then: unplug the sensor and plug it in again once.
        request key u
        sleep $((3 * scale))
        request key p
        wait_for 20 sensor_group_is_nocturo ||
            log "not given to the group nocturo after the replug either"
    fi
    systemctl enable --now $unit
    if [ "$(systemctl is-enabled $unit)" = enabled ] && wait_for 30 status_ok &&
        journal_has "sensor connected"; then
        result PASS install-and-enable
    else
        result FAIL install-and-enable "$(systemctl show -p StatusText -p ActiveState $unit | tr '\n' ' ')"
    fi

    local day begin
    day=$(day_file)
    begin=$(now_tod)
    wait_for_save "$day"
    if status_ok && lines_right "$day" "$begin" "$(now_tod)" records; then
        result PASS records
    else
        result FAIL records "$(systemctl show -p StatusText --value $unit)"
    fi

    # Unplug and plug in again: the loss and the return in the journal, right lines after.
    local unplugged plugged
    unplugged=$(date '+%F %T')
    request key u
    if wait_for 20 journal_has "sensor lost" "$unplugged" && ! status_ok; then
        plugged=$(date '+%F %T')
        request key p
        if wait_for 30 journal_has "sensor connected" "$plugged" && wait_for 10 status_ok; then
            local back
            back=$(now_tod)
            wait_for_save "$day"
            if lines_right "$day" "$back" "$(now_tod)" "after replug"; then
                result PASS unplug-and-replug
            else
                result FAIL unplug-and-replug "wrong or failed lines after the sensor came back"
            fi
        else
            result FAIL unplug-and-replug "not picked up again after the replug"
        fi
    else
        result FAIL unplug-and-replug "no \"sensor lost\" after the unplug"
        request key p
    fi

    # One reply held longer than the time-out: right lines again within 2 s, no wrong line.
    local late_at settled
    late_at=$(now_tod)
    request key l
    settled=$(date -d "$late_at $((2 * scale + 1)) seconds" +%H:%M:%S)
    sleep $((2 * scale + 3))
    wait_for_save "$day"
    if no_wrong "$day" "$late_at" "$(now_tod)" "late reply, no wrong line" &&
        lines_right "$day" "$settled" "$(now_tod)" "late reply, right again"; then
        result PASS late-reply
    else
        result FAIL late-reply "lines not right again within 2 s of a late reply, or a wrong line"
    fi

    cp "$day" "$share/before-reboot.txt"
    keep_journal boot1
    set_stage after-reboot
    log "systemctl reboot"
    systemctl reboot
}

# --- boot 2: after systemctl reboot ----------------------------------------------------
stage_after_reboot() {
    log "boot 2"
    local day begin
    day=$(day_file)
    begin=$(now_tod)
    if [ "$(systemctl is-active $unit)" = active ] && wait_for 30 status_ok && wait_for_save "$day" &&
        is_prefix "$share/before-reboot.txt" "$day" && lines_right "$day" "$begin" "$(now_tod)" "after reboot"; then
        result PASS systemctl-reboot
    else
        result FAIL systemctl-reboot "not back, or the day file was not appended to ($(systemctl is-active $unit))"
    fi

    # The README's drop-in exactly as printed, put where `systemctl edit` puts it.
    mkdir -p "$dropin_dir"
    cp "$share/dropin.conf" "$dropin_dir/override.conf"
    systemctl daemon-reload
    local restarted
    restarted=$(date '+%F %T')
    systemctl restart $unit
    if wait_for 30 status_ok &&
        journal_has "reboot after failure on, send delay 100 ms" "$restarted" &&
        ! journalctl -b --since "$restarted" -o cat --no-pager | grep -q "Invalid environment assignment"; then
        result PASS readme-drop-in
    else
        result FAIL readme-drop-in "$(journalctl -u $unit -b --since "$restarted" -o cat --no-pager | head -5 | tr '\n' ' ')"
    fi

    # The sensor silenced: 30 s later the logger asks logind for the reboot, polkit allows
    # it to the account nocturo, and the machine reboots by itself.
    set_stage after-forced-reboot
    date +%s >"$share/silenced-at"
    keep_journal boot2
    request key-at-reboot a
    request key s
    wait_for 60 journal_has "reboot armed" || log "no \"reboot armed\" yet"
    sleep $((120 * scale))
    result FAIL forced-reboot "still running $((120 * scale)) s after the reboot was armed"
    keep_journal boot2
    systemctl reboot
}

# --- boot 3: after the logger's own reboot ---------------------------------------------
stage_after_forced_reboot() {
    log "boot 3"
    request key a
    keep_journal boot2 -1
    # The reboot is asked for when the 30 s run out, not before.
    local armed requested
    armed=$(journalctl -b -1 -u $unit -o short-unix --no-pager | grep -F "reboot armed" | tail -1 | cut -d. -f1)
    requested=$(journalctl -b -1 -u $unit -o short-unix --no-pager |
        grep -F "restart requested: the system accepted a forced reboot" | tail -1 | cut -d. -f1)
    log "reboot armed at ${armed:-?}, asked for at ${requested:-?}"
    if [ -n "$armed" ] && [ -n "$requested" ] && [ $((requested - armed)) -ge 29 ]; then
        local day begin
        day=$(day_file)
        begin=$(now_tod)
        if wait_for 60 status_ok && wait_for_save "$day" &&
            lines_right "$day" "$begin" "$(now_tod)" "after the forced reboot"; then
            result PASS forced-reboot
        else
            keep_usb_state boot3
            result FAIL forced-reboot "not recording after the forced reboot (usb-boot3.txt)"
        fi
    else
        result FAIL forced-reboot "the previous boot did not end in the logger's reboot (journal-boot2.txt)"
    fi
    rm -rf "$dropin_dir"
    systemctl daemon-reload
    systemctl restart $unit
    wait_for 30 status_ok

    # The power cut: right after a save has been seen, the host kills the machine.
    local day
    day=$(day_file)
    wait_for_save "$day"
    cp "$day" "$share/before-cut.txt"
    keep_journal boot3
    set_stage after-power-cut
    request powercut
    sleep infinity
}

# --- boot 4: after the power cut -------------------------------------------------------
stage_after_power_cut() {
    log "boot 4"
    local day
    day=$(day_file)
    if is_prefix "$share/before-cut.txt" "$day" &&
        no_wrong "$day" 00:00:00 23:59:59 "the whole day file after the power cut"; then
        result PASS power-cut
    else
        result FAIL power-cut "the day file lost saved lines or is not whole"
    fi

    # The package upgraded over the running service: it comes back on the new program.
    wait_for 30 status_ok
    local pid upgraded begin
    pid=$(systemctl show -p MainPID --value $unit)
    # Any state of the day file is the beginning of every later one.
    cp "$day" "$share/before-upgrade.txt"
    upgraded=$(date '+%F %T')
    if dpkg -i "$share/new.deb" >"$share/dpkg-upgrade.txt" 2>&1 &&
        [ "$(dpkg-query -W -f '${Version}' nocturo)" = "$(cat "$share/new-version")" ] &&
        wait_for 30 status_ok && [ "$(systemctl show -p MainPID --value $unit)" != "$pid" ] &&
        journal_has "stopped; the day's file is saved" "$upgraded"; then
        begin=$(now_tod)
        if wait_for_save "$day" && is_prefix "$share/before-upgrade.txt" "$day" &&
            lines_right "$day" "$begin" "$(now_tod)" "after the upgrade"; then
            result PASS upgrade
        else
            result FAIL upgrade "lines lost or not recording after the upgrade"
        fi
    else
        result FAIL upgrade "not upgraded, or the service not restarted on the new program"
    fi

    # Purged: the service goes, the records and the account stay.
    cp "$day" "$share/before-purge.txt"
    if dpkg --purge nocturo >"$share/dpkg-purge.txt" 2>&1 &&
        [ "$(systemctl is-active $unit)" != active ] &&
        [ ! -e /usr/lib/systemd/system/$unit.service ] &&
        [ ! -e /etc/systemd/system/multi-user.target.wants/$unit.service ] &&
        is_prefix "$share/before-purge.txt" "$day" && getent passwd nocturo >/dev/null; then
        result PASS purge
    else
        result FAIL purge "the service is left, or the records or the account went"
    fi
    keep_days
    keep_journal boot4
    set_stage finished
    request done
    systemctl poweroff
}

stage=$(cat "$share/stage" 2>/dev/null || echo install)
case $stage in
    install) stage_install ;;
    after-reboot) stage_after_reboot ;;
    after-forced-reboot) stage_after_forced_reboot ;;
    after-power-cut) stage_after_power_cut ;;
    *) log "nothing to do at stage $stage" ;;
esac
