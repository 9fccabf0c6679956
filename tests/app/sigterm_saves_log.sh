#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SIGTERM to the running program ends it through its normal shut-down: it exits with 0,
# the log is saved (an empty log creates the day's file), and a day file that held lines
# still holds them. A final save that fails never waits for a click: it is told on
# standard error and in the exit status. Usage: sigterm_saves_log.sh <path of the program>
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

# Starts the program in $work, sends SIGTERM once its handler is in place, and prints
# the exit status.
run_and_terminate() {
    (cd "$work" && exec "$program") &
    local pid=$! tries=0 caught name
    # The shell that starts the program may catch SIGTERM itself until it has exec'd, so
    # the name and the mask are read from one snapshot of the process's status.
    name=$(basename "$program" | cut -c1-15)
    while :; do
        caught=$(awk -v name="$name" '/^Name:/ { ok = ($2 == name) }
                                      /^SigCgt:/ && ok { print $2 }' "/proc/$pid/status" 2>/dev/null)
        # SIGTERM is signal 15, bit 14 of the mask of caught signals.
        [ -n "$caught" ] && (((0x$caught >> 14) & 1)) && break
        tries=$((tries + 1))
        if [ $tries -ge 1000 ] || ! kill -0 $pid 2>/dev/null; then
            echo "the program never installed its SIGTERM handler" >&2
            kill -KILL $pid 2>/dev/null
            return 1
        fi
        sleep 0.01
    done
    kill -TERM $pid
    wait $pid 2>/dev/null
    echo "exit status $?"
}

day=$(date +%Y%m%d).txt
status=$(run_and_terminate) || exit 1
[ "$status" = "exit status 0" ] || { echo "first run: $status" >&2; exit 1; }
[ -f "$work/$day" ] || { echo "no $day saved at shut-down" >&2; exit 1; }

printf 'held line one\r\nheld line two' >"$work/$day"
status=$(run_and_terminate) || exit 1
[ "$status" = "exit status 0" ] || { echo "second run: $status" >&2; exit 1; }
head -c 29 "$work/$day" | cmp -s - <(printf 'held line one\r\nheld line two') ||
    { echo "$day lost its lines:" >&2; od -c "$work/$day" >&2; exit 1; }
# A directory in the day file's place: the last save fails, and the program still ends.
rm -f "$work/$day" && mkdir "$work/$day"
status=$(run_and_terminate 2>"$work/stderr") || exit 1
[ "$status" = "exit status 1" ] || { echo "failed save: $status" >&2; exit 1; }
grep -q "Cannot create file" "$work/stderr" ||
    { echo "the failed save was not told:" >&2; cat "$work/stderr" >&2; exit 1; }
[ -d "$work/$day" ] || { echo "the directory was replaced" >&2; exit 1; }
echo "saved through the normal shut-down; a failed save is told without a box"
