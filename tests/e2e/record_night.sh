#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Records a night with the real program against the emulated sensor, in minutes rather
# than a day: the tests' wall-clock shim runs the program's clock RATE times as fast, and
# the emulated sensor's day is as short. The day files of the night of DATE (12:00 to
# 12:00 of the next day, from 11:58 to 12:02) land in FOLDER. With FAULTS (hh:mm:action,
# comma-separated, at the program's times of day) the sensor is unplugged, silenced ...
#
# EMULATOR_OPTIONS are handed to the emulated sensor as well (e.g. "--zero-point 24.30" for
# a second instrument beside the first, or "--site town --clouds random:7").
#
#   record_night.sh BUILD_DIR FOLDER [DATE [RATE [FAULTS]]]
#   record_night.sh build ~/Nocturo-night 2009-01-26 40 23:10:unplug,23:25:replug,02:30:silent,02:34:answer
set -eu
build=$(cd "$1" && pwd)
folder=$2
day=${3:-2009-01-26}
rate=${4:-40}
faults=${5:-}
export TZ=UTC0
# The shim is built in tests/e2e/ (older build trees had it in tests/).
shim="$build/tests/e2e/libwallclock_shim.so"
[ -e "$shim" ] || shim="$build/tests/libwallclock_shim.so"
mkdir -p "$folder"

begin=$(date -d "$day 11:58:00" +%s)
seconds=$((24 * 3600 + 4 * 60)) # of the program's time
now=$(date +%s)
real=$(awk -v s="$seconds" -v r="$rate" 'BEGIN { printf "%.1f", s / r }')

# The fault timetable in the emulator's seconds since its start.
timetable=""
for fault in $(echo "$faults" | tr ',' ' '); do
    at=${fault%:*} action=${fault##*:}
    since=$(( ($(date -d "$day $at" +%s) - begin + 86400) % 86400 ))
    timetable="$timetable${timetable:+,}$(awk -v s="$since" -v r="$rate" 'BEGIN { printf "%.2f", s / r }'):$action"
done

cd "$folder"
echo "record_night: $day 11:58 to the next day 12:02 at $rate times, $real s; files in $folder"
env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 WALLCLOCK_SHIM="$shim" \
    WALLCLOCK_SHIM_OFFSET=$((begin - now)) WALLCLOCK_SHIM_ANCHOR="$now" WALLCLOCK_SHIM_RATE="$rate" \
    "$build/tools/sensor-emulator" --day-seconds "$(awk -v r="$rate" 'BEGIN { print 86400 / r }')" \
    --start 11:58 ${timetable:+--faults "$timetable"} ${EMULATOR_OPTIONS:-} \
    -- sh -c 'LD_PRELOAD="$LD_PRELOAD $WALLCLOCK_SHIM" exec "$@"' sh "$build/src/app/nocturo" \
    </dev/null >record_night.log 2>&1 &
emulator=$!
sleep "$real"
# The program saves its day on SIGTERM, as at a shutdown.
kill -TERM "$emulator"
wait "$emulator" || true
ls -l "$folder"/*.txt
