#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The logger's command line as a user meets it: --help and --version answer on standard
# output with status 0; a wrong option, value or data directory is told in one line on
# standard error (with the usage where an option was wrong) and gives status 2, before the
# sensor is ever looked for. A missing data directory is created.
#
#   command_line.sh PROGRAM [EMULATOR...]
set -u
program=$1
shift
emulator="$*" # a cross build's emulator, which runs the program
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs the program with the arguments; sets status, out and err.
run() {
    # shellcheck disable=SC2086
    $emulator "$program" "$@" >"$tmp/out" 2>"$tmp/err" </dev/null
    status=$?
}
# The arguments give status 2 and a first line on standard error holding the text.
wrong() {
    text=$1
    shift
    run "$@"
    [ "$status" -eq 2 ] || fail "$*: status $status, not 2"
    head -n 1 "$tmp/err" | grep -q -F -- "nocturo-logger: $text" ||
        { cat "$tmp/err" >&2; fail "$*: no \"$text\" on standard error"; }
    [ -s "$tmp/out" ] && fail "$*: wrote to standard output"
    return 0
}

run --help
[ "$status" -eq 0 ] && grep -q -- '--reboot-after-failure' "$tmp/out" && grep -q -- '--data-dir' "$tmp/out" ||
    fail "--help: status $status"
run --version
[ "$status" -eq 0 ] && grep -q '^nocturo-logger [0-9][0-9.]*$' "$tmp/out" || fail "--version: status $status"

wrong "Unknown option 'bogus'" --bogus
grep -q '^Usage:' "$tmp/err" || fail "no usage after an unknown option"
wrong 'Unexpected argument "extra"' extra
for value in 49 1001 0 -50 abc 50ms ""; do
    wrong "--send-delay wants milliseconds from 50 to 1000, not \"$value\"" --send-delay "$value"
    wrong "--receive-delay wants milliseconds from 50 to 1000, not \"$value\"" --receive-delay="$value"
done
wrong "Missing value after '--send-delay'" --send-delay
# The observatory's options.
for value in -1 65536 abc ""; do
    wrong "--alpaca wants a port from 0 to 65535, not \"$value\"" --alpaca "$value"
done
wrong "--alpaca-address goes with --alpaca" --alpaca-address 0.0.0.0
wrong "--alpaca-discovery-port goes with --alpaca" --alpaca-discovery-port 32227
wrong "--alpaca-address wants an IP address such as 127.0.0.1 or 0.0.0.0, not \"roof\"" \
    --alpaca 11111 --alpaca-address roof
wrong "--alpaca-discovery-port wants a port from 0 to 65535, not \"x\"" --alpaca 1 \
    --alpaca-discovery-port x
wrong "--state-socket wants a path" --state-socket ""

touch "$tmp/a file"
wrong "cannot use the data directory \"$tmp/a file\": not a directory" --data-dir "$tmp/a file"
wrong "cannot use the data directory \"$tmp/a file/logs\": it is missing and cannot be created" \
    --data-dir "$tmp/a file/logs"
if [ "$(id -u)" -ne 0 ]; then
    mkdir "$tmp/locked" && chmod 500 "$tmp/locked"
    wrong "cannot use the data directory \"$tmp/locked\": Permission denied" --data-dir "$tmp/locked"
fi

# The command line is read whole before the data directory is made.
wrong "--send-delay wants" --data-dir "$tmp/new/logs" --send-delay 2000
[ -d "$tmp/new/logs" ] && fail "the data directory was made although an option was wrong"

# Publishing: a wrong URL or option, an unreadable credentials file, a wrong station.conf.
wrong "--publish: \"http://broker\" is not a broker's URL" --publish http://broker
wrong "--publish: \"mqtt://u:p@broker\" is not a broker's URL: a user name and password go into --publish-credentials" \
    --publish mqtt://u:p@broker
wrong "--publish-ca goes with --publish" --publish-ca /etc/hostname
wrong "--publish-ca goes with an mqtts:// broker" --publish mqtt://localhost --publish-ca /etc/hostname
wrong "--publish-ca: cannot read \"$tmp/none.pem\"" --publish mqtts://localhost --publish-ca "$tmp/none.pem"
wrong "--publish-prefix wants topic levels" --publish mqtt://localhost --publish-prefix "a/#"
wrong "--station wants 1 to 64 of a-z 0-9 _ -, not \"Roof!\"" --station 'Roof!'
wrong "--publish-credentials: cannot read the credentials file \"$tmp/none\"" \
    --data-dir "$tmp/pub" --publish mqtt://localhost --publish-credentials "$tmp/none"
mkdir "$tmp/conf" && printf 'name = roof\nlatitude = 91\n' >"$tmp/conf/station.conf"
wrong "$tmp/conf/station.conf, line 2: latitude = 91" --data-dir "$tmp/conf"
# The day files are written on the computer's clock: a station's zone that differs from it
# is refused with both zones named; the same zone under another name is taken (the next
# check, the credentials file, is then reached).
printf 'timezone = Asia/Kolkata\n' >"$tmp/conf/station.conf"
export TZ=UTC
wrong "the station's time zone Asia/Kolkata (timezone in $tmp/conf/station.conf) is not the computer's time zone UTC (Asia/Kolkata is UTC+05:30 and UTC is UTC+00:00" \
    --data-dir "$tmp/conf"
export TZ=Asia/Calcutta
wrong "--publish-credentials: cannot read the credentials file" \
    --data-dir "$tmp/conf" --publish mqtt://localhost --publish-credentials "$tmp/none"
unset TZ
echo "command line ok"
