#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source, build and packaging file the repository tracks names its licence in an
# SPDX line near its top; data, pictures and the texts that must begin otherwise (the
# licence itself, Debian's copyright and changelog; JSON, which has no comments: the web
# pages' package.json names the licence in its "license" field) do not.
#
#   check_spdx.sh SOURCE_DIR
set -eu
cd "$1"
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "not a git checkout: nothing to check"
    exit 0
fi
missing=$(git ls-files | grep -Ev '^(LICENSE|packaging/(changelog|copyright)|docs/|tests/fuzz/corpus/|tests/core/log/golden/)|\.(md|png|json)$' |
    while read -r f; do
        [ -f "$f" ] || continue
        head -c 600 "$f" | grep -q 'SPDX-License-Identifier: ' || echo "$f"
    done)
if [ -n "$missing" ]; then
    echo "FAIL: no SPDX line in:" >&2
    echo "$missing" >&2
    exit 1
fi
echo "every file names its licence"
