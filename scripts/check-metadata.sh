#!/usr/bin/env bash
# Runs the desktop's own validators on the software centre's metainfo and on the menu entries, and fails on
# any remark they make (appstreamcli fails only on warnings, desktop-file-validate only on errors).
#   ./scripts/check-metadata.sh METAINFO DESKTOP_FILE...
set -euo pipefail
[ $# -ge 2 ] || {
    echo "usage: $0 METAINFO DESKTOP_FILE..." >&2
    exit 2
}
for tool in appstreamcli desktop-file-validate; do
    command -v "$tool" >/dev/null || {
        echo "check-metadata: FAILED: $tool is missing (scripts/install-deps.sh installs it)" >&2
        exit 1
    }
done

metainfo=$1
shift
# --no-net: the screenshot's address is checked for its form only, so the check runs offline.
status=0
output=$(appstreamcli validate --no-net --pedantic --no-color "$metainfo" 2>&1) || status=$?
if [ "$status" -ne 0 ] || grep -qE '^[EWIP]: ' <<<"$output"; then
    echo "$output" >&2
    echo "check-metadata: FAILED: appstreamcli remarks on $metainfo (above)" >&2
    exit 1
fi
echo "check-metadata: ok: appstreamcli validate --no-net --pedantic $(basename "$metainfo")"

remarks=$(desktop-file-validate "$@" 2>&1) || true
[ -z "$remarks" ] || {
    echo "$remarks" >&2
    echo "check-metadata: FAILED: desktop-file-validate remarks on $* (above)" >&2
    exit 1
}
echo "check-metadata: ok: desktop-file-validate $(for f in "$@"; do basename "$f"; done | paste -sd ' ' -)"
