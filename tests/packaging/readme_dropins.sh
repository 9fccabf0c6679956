#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The logger service's drop-ins exactly as README.md prints them: each indented block that
# begins with "[Service]" is written, without its indentation, to OUT_DIR/dropin-N.conf
# (N from 1, in the README's order). Prints how many it found.
#
#   readme_dropins.sh README OUT_DIR
set -eu
readme=$1 out=$2
mkdir -p "$out"
awk -v out="$out" '
    /^    \[Service\][[:space:]]*$/ { n++; file = out "/dropin-" n ".conf" }
    file != "" && /^    / { sub(/^    /, ""); print > file; next }
    { if (file != "") close(file); file = "" }
    END { print n + 0 }' "$readme"
