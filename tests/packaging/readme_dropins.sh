#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The logger service's drop-ins exactly as README.md prints them: each indented block that
# begins with "[Service]" (not a whole unit of other services, whose "[Service]" comes
# after its "[Unit]") is written, without its indentation, to OUT_DIR/dropin-N.conf
# (N from 1, in the README's order). Prints how many it found.
#
#   readme_dropins.sh README OUT_DIR
set -eu
readme=$1 out=$2
mkdir -p "$out"
awk -v out="$out" '
    /^    \[Service\][[:space:]]*$/ && !inblock { n++; file = out "/dropin-" n ".conf" }
    /^    / { inblock = 1 }
    file != "" && /^    / { sub(/^    /, ""); print > file; next }
    !/^    / { inblock = 0 }
    { if (file != "") close(file); file = "" }
    END { print n + 0 }' "$readme"
