#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A network of three stations on this machine, for `make network-demo`: a Mosquitto broker
# and a PostgreSQL server of its own (a temporary folder, a Unix socket, no TCP port of
# PostgreSQL's), three emulated sensors with different light (one unplugged now and then),
# three loggers publishing what they record, the collector writing the archive, the web
# service on the archive (its address printed: open it in a browser), and the viewer on
# the archive showing the three stations on one picture. Closing the viewer (or
# Ctrl+C) ends everything and removes the folder.
#
#   tools/network-demo.sh BUILD_DIR
#
# NETWORK_DEMO_DAY_SECONDS  length of an emulated day (default 600)
# NETWORK_DEMO_SECONDS      without a display, or when set: run this long (default 120),
#                           then write network-demo.png and network-demo.csv here and end
# NETWORK_DEMO_KEEP         a folder to copy the day files and logs into before the end
# NETWORK_DEMO_WEB          where the web service listens (default 127.0.0.1:8080)
set -eu

build=$(cd "${1:-build}" && pwd)
day_seconds=${NETWORK_DEMO_DAY_SECONDS:-600}
stations="ridge valley town"
# Light scale and fault timetable of each station: the valley is darker and its sensor is
# unplugged for half a minute twice; the town is bright with light pollution.
scale_ridge=1; faults_ridge=
scale_valley=0.2; faults_valley=45:unplug,75:replug,150:unplug,180:replug
scale_town=8; faults_town=
# Where they stand, for the map and the sky.
place_ridge="47.26 11.39 2200"; place_valley="46.80 9.83 1100"; place_town="48.21 16.37 180"

for program in "$build/tools/sensor-emulator" "$build/src/logger/nocturo-logger" \
    "$build/src/collector/nocturo-collect" "$build/src/viewer/nocturo-view" \
    "$build/src/web/nocturo-web"; do
    [ -x "$program" ] || { echo "network-demo: $program is missing: run make build" >&2; exit 1; }
done

pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$pg_bin/initdb" ] || { echo "network-demo: PostgreSQL is not installed (make deps)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/nocturo-network-demo.XXXXXX")
pids=
# PostgreSQL refuses to run as root: then it runs as nobody, which owns the folder.
if [ "$(id -u)" = 0 ]; then
    chown nobody:nogroup "$work"
    as_postgres() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
else
    as_postgres() { "$@"; }
fi

finish() {
    trap - EXIT INT TERM
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done
    if [ -f "$work/pg/postmaster.pid" ]; then
        as_postgres "$pg_bin/pg_ctl" -D "$work/pg" -m fast -w stop >/dev/null 2>&1 || true
    fi
    if [ -n "${NETWORK_DEMO_KEEP:-}" ]; then
        mkdir -p "$NETWORK_DEMO_KEEP" && cp -r "$work"/ridge "$work"/valley "$work"/town \
            "$work"/*.log "$NETWORK_DEMO_KEEP"/ 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

say() { echo "network-demo: $*" >&2; }

# A free TCP port on the loopback for the broker.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

say "PostgreSQL in $work (Unix socket only)"
as_postgres "$pg_bin/initdb" -D "$work/pg" -U postgres -A trust -E UTF8 --locale=C.UTF-8 \
    --no-sync >"$work/initdb.log" 2>&1
as_postgres "$pg_bin/pg_ctl" -D "$work/pg" -l "$work/postgres.log" -w -t 60 \
    -o "-k $work -c listen_addresses=" start >/dev/null
database="postgresql:///postgres?host=$work&user=postgres"

say "Mosquitto on 127.0.0.1:$port"
cat >"$work/mosquitto.conf" <<EOF
listener $port 127.0.0.1
allow_anonymous true
persistence false
EOF
/usr/sbin/mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
pids="$pids $!"
broker="mqtt://127.0.0.1:$port"
sleep 1

say "the archive's tables, and the collector"
"$build/src/collector/nocturo-collect" --database "$database" --create-schema \
    >"$work/schema.log" 2>&1 || { cat "$work/schema.log" >&2; exit 1; }
"$build/src/collector/nocturo-collect" --broker "$broker" --database "$database" \
    --spool "$work/collect.spool" >"$work/collector.log" 2>&1 &
pids="$pids $!"

for station in $stations; do
    eval scale=\$scale_$station faults=\$faults_$station place=\$place_$station
    mkdir -p "$work/$station"
    set -- $place
    printf 'name = %s\nlatitude = %s\nlongitude = %s\nelevation = %s\nzero_point = 20.0\n' \
        "$station" "$1" "$2" "$3" >"$work/$station/station.conf"
    say "station $station: light x$scale${faults:+, faults $faults}"
    "$build/tools/sensor-emulator" --day-seconds "$day_seconds" --light-scale "$scale" \
        ${faults:+--faults "$faults"} -- \
        "$build/src/logger/nocturo-logger" --data-dir "$work/$station" \
        --publish "$broker" --station "$station" </dev/null >"$work/$station.log" 2>&1 &
    pids="$pids $!"
done

# The archive holds lines of every station within a minute, or something is wrong.
count() {
    psql -X -At -d "$database" -c "SELECT count(DISTINCT station) FROM readings" 2>/dev/null || echo 0
}
waited=0
while [ "$(count)" -lt 3 ]; do
    waited=$((waited + 1))
    if [ "$waited" -gt 60 ]; then
        say "no lines of all three stations in the archive after a minute; the logs:"
        tail -n 5 "$work"/*.log >&2
        exit 1
    fi
    sleep 1
done
say "the archive holds lines of all three stations"

web=${NETWORK_DEMO_WEB:-127.0.0.1:8080}
"$build/src/web/nocturo-web" --archive "$database" --describe "$work" --listen "$web" \
    >"$work/web.log" 2>&1 &
pids="$pids $!"
waited=0
until grep -q serving "$work/web.log"; do
    waited=$((waited + 1))
    if [ "$waited" -gt 30 ] || ! kill -0 "$!" 2>/dev/null; then
        say "the web service did not start:"; cat "$work/web.log" >&2; exit 1
    fi
    sleep 0.2
done
say "the web service: open http://$web/ in a browser"

view() { "$build/src/viewer/nocturo-view" --archive "$database" \
    --station ridge --station valley --station town --day today --fit-lines "$@"; }
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ -n "${NETWORK_DEMO_SECONDS:-}" ]; then
    seconds=${NETWORK_DEMO_SECONDS:-120}
    say "no window: running for $seconds s, then writing network-demo.png and .csv here"
    sleep "$seconds"
    view --export network-demo.png
    view --export network-demo.csv
    "$build/src/collector/nocturo-collect" --database "$database" --status || true
else
    say "the viewer on the archive; close it to end the demo"
    view
fi
