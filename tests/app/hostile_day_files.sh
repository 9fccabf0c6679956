#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program started in a folder where today's day file is not what it should be:
#   fifo       a named pipe (an open that waits would hang the program for ever)
#   device     a symbolic link to /dev/zero (a read that never ends)
#   directory  a directory (the save at shut-down cannot succeed)
#   oversize   a file of 111 MB, larger than any day file
#   largest    a day file just under the largest size that is loaded, about 1.8 million lines
# Each time the program must come up (catch SIGTERM) and then end on SIGTERM, and what
# stood in the file's place must be as it was, with nothing left beside it. Neither waits
# blocks: the program starts in a fraction of a second and its exit save of the largest
# day takes about 0.4 s on a quiet machine (several times that under load or sanitizers);
# the waits below only guard against a hang. How fast saves are is bench_dailylog's.
# Usage: hostile_day_files.sh <path of the nocturo program> <case>
set -u
program=$1
case=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
day=$(date +%Y%m%d).txt
file=$work/$day
line='2009-01-26 12:00:00  21.5    1234 3'
largestLines=1800000 # 37 bytes each: 66.6 MB, under the bound of 64 MiB

fail() {
    echo "$case: $*" >&2
    exit 1
}

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# Against a hang only, ten times what a loaded machine under the sanitizers needs.
guard_ms=20000

# Starts the program in $work, waits until it catches SIGTERM, lets it run for $1 seconds,
# sends SIGTERM and waits for its end; prints the exit status and, on standard error, how
# long the end took.
run_and_terminate() {
    (cd "$work" && exec "$program") &
    local pid=$! deadline caught state
    deadline=$(($(now_ms) + guard_ms))
    while :; do
        caught=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
        # SIGTERM is signal 15, bit 14 of the mask of caught signals.
        [ -n "$caught" ] && (((0x$caught >> 14) & 1)) && break
        if [ "$(now_ms)" -gt "$deadline" ] || ! kill -0 $pid 2>/dev/null; then
            kill -KILL $pid 2>/dev/null
            fail "not running after $((guard_ms / 1000)) s"
        fi
        sleep 0.01
    done
    sleep "$1"
    kill -TERM $pid
    local terminated
    terminated=$(now_ms)
    deadline=$((terminated + guard_ms))
    while :; do
        # The program is ended once it is gone or a zombie waiting for this shell.
        state=$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null)
        [ -z "$state" ] || [ "$state" = Z ] && break
        if [ "$(now_ms)" -gt "$deadline" ]; then
            kill -KILL $pid 2>/dev/null
            wait $pid 2>/dev/null
            fail "still running $((guard_ms / 1000)) s after SIGTERM"
        fi
        sleep 0.01
    done
    echo "$case: ended $(($(now_ms) - terminated)) ms after SIGTERM" >&2
    wait $pid
    echo $?
}

only_the_day_file_is_there() {
    local entries
    entries=$(ls -A "$work")
    [ "$entries" = "$day" ] || fail "the folder holds: $entries"
}

case $case in
fifo)
    mkfifo "$file"
    run_and_terminate 0.2 >/dev/null
    [ -p "$file" ] || fail "the named pipe is gone"
    only_the_day_file_is_there
    ;;
device)
    ln -s /dev/zero "$file"
    run_and_terminate 0.2 >/dev/null
    [ "$(readlink "$file")" = /dev/zero ] || fail "the link to /dev/zero is gone"
    only_the_day_file_is_there
    ;;
directory)
    mkdir "$file"
    run_and_terminate 0.2 >/dev/null
    [ -d "$file" ] || fail "the directory is gone"
    [ -z "$(ls -A "$file")" ] || fail "something was written into the directory"
    only_the_day_file_is_there
    ;;
oversize)
    { printf '%s\r\n' "$line"; } >"$file"
    truncate -s 111M "$file"
    before=$(stat -c '%s %Y %i' "$file")
    run_and_terminate 0.5 >/dev/null
    [ "$(stat -c '%s %Y %i' "$file")" = "$before" ] || fail "the large file was changed"
    only_the_day_file_is_there
    ;;
largest)
    yes "$line"$'\r' | head -n $largestLines >"$file"
    size=$(stat -c %s "$file")
    # SIGTERM comes while the Data page is still filling.
    status=$(run_and_terminate 0.5) || exit 1
    [ "$status" = 0 ] || fail "exit status $status"
    cmp -s -n "$size" <(yes "$line"$'\r' | head -n $largestLines) "$file" ||
        fail "the day file lost lines"
    only_the_day_file_is_there
    ;;
*)
    fail "no such case"
    ;;
esac
echo "$case: running, ended by SIGTERM, the day file's place as it was"
