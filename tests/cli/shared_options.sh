#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every program with a command line, given the same thing: --help and --version answer
# alike (the version as "PROGRAM X.Y.Z", the help ending with the table of exit statuses),
# and the same wrong option is told in the same words with the same exit status 2, before
# anything is connected to.
#
#   shared_options.sh LOGGER COLLECTOR VIEWER WEB [EMULATOR...]
set -u
logger=$1 collector=$2 viewer=$3 web=$4
shift 4
emulator="$*"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen HOME="$tmp" NOCTURO_DATA_DIR="$tmp"

run() {
    # shellcheck disable=SC2086
    $emulator "$@" >"$tmp/out" 2>"$tmp/err" </dev/null
    status=$?
}
# PROGRAM ARGS... : status 2, nothing on standard output, the first line of standard
# error "NAME: TEXT", the usage with the exit statuses after it.
wrong() {
    text=$1 program=$2
    shift 2
    name=$(basename "$program")
    run "$program" "$@"
    [ "$status" -eq 2 ] || { cat "$tmp/err" >&2; fail "$name $*: status $status, not 2"; }
    head -n 1 "$tmp/err" | grep -q -F -- "$name: $text" ||
        { cat "$tmp/err" >&2; fail "$name $*: no \"$name: $text\" first on standard error"; }
    grep -q '^Exit status:' "$tmp/err" || fail "$name $*: no usage after the error"
    [ -s "$tmp/out" ] && fail "$name $*: wrote to standard output"
    return 0
}

for program in "$logger" "$collector" "$viewer" "$web"; do
    name=$(basename "$program")
    run "$program" --version
    [ "$status" -eq 0 ] && grep -q "^$name [0-9][0-9.]*\$" "$tmp/out" ||
        fail "$name --version: status $status, \"$(cat "$tmp/out")\""
    run "$program" --help
    [ "$status" -eq 0 ] || fail "$name --help: status $status"
    for line in "0  all went well" "1  something an alert should see" "2  a wrong command line" \
        "3  a server that cannot be reached"; do
        grep -q -F -- "$line" "$tmp/out" || fail "$name --help: no \"$line\""
    done
    wrong "Unknown option 'bogus'." "$program" --bogus
done

# The broker's options: the same checks whatever the program calls them.
url='"http://broker" is not a broker'"'"'s URL: it wants mqtt://HOST[:PORT] or mqtts://HOST[:PORT]'
wrong "--publish: $url" "$logger" --data-dir "$tmp/l" --publish http://broker
wrong "--broker: $url" "$collector" --broker http://broker
for prefix in 'a//b' 'a/#' '/a' ''; do
    levels="wants topic levels such as \"nocturo\" or \"network/nocturo\" (no +, # or empty level), not \"$prefix\""
    wrong "--publish-prefix $levels" "$logger" --data-dir "$tmp/l" --publish mqtt://localhost \
        --publish-prefix "$prefix"
    wrong "--prefix $levels" "$collector" --prefix "$prefix"
done
wrong "--publish-ca goes with an mqtts:// broker" "$logger" --data-dir "$tmp/l" \
    --publish mqtt://localhost --publish-ca /etc/hostname
wrong "--ca goes with an mqtts:// broker" "$collector" --broker mqtt://localhost --ca /etc/hostname
wrong "--publish-credentials: cannot read the credentials file \"$tmp/none\"" "$logger" \
    --data-dir "$tmp/l" --publish mqtt://localhost --publish-credentials "$tmp/none"
wrong "--credentials: cannot read the credentials file \"$tmp/none\"" "$collector" \
    --credentials "$tmp/none"

# A station's name, wherever one is given.
wrong '--station wants 1 to 64 of a-z 0-9 _ -, not "Roof!"' "$logger" --data-dir "$tmp/l" --station 'Roof!'
wrong '--station wants 1 to 64 of a-z 0-9 _ -, not "Roof!"' "$viewer" --archive "" --station 'Roof!' \
    --export "$tmp/x.png"
[ -e "$tmp/l" ] && fail "the logger made its data directory although an option was wrong"

# A password file others may read is used, with a warning, by every program that reads one.
printf 'station\nsecret\n' >"$tmp/credentials" && chmod 644 "$tmp/credentials"
run "$collector" --credentials "$tmp/credentials" --status --database "postgresql:///none?host=$tmp&connect_timeout=2"
[ "$status" -eq 3 ] || { cat "$tmp/err" >&2; fail "collector --status without an archive: status $status, not 3"; }
grep -q -F -- "may be read by other users" "$tmp/err" || fail "collector: no warning of a readable password"
run "$viewer" --archive "postgresql:///none?host=$tmp&connect_timeout=2" --export "$tmp/x.png"
[ "$status" -eq 3 ] || { cat "$tmp/err" >&2; fail "viewer without an archive: status $status, not 3"; }
run "$web" --archive "postgresql:///none?host=$tmp&connect_timeout=2" --listen 127.0.0.1:0
[ "$status" -eq 3 ] || { cat "$tmp/err" >&2; fail "web without an archive: status $status, not 3"; }
echo "shared options ok"
