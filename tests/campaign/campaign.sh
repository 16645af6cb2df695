#!/usr/bin/env bash
# The fault campaign's harder cases against the real program: kills during saves of a large list, a full
# disk, FIFOs where files belong, damaged saved lists and a hang-up. Prints each case and what came of it;
# exits 1 when any case failed.
#   campaign.sh ORV SAVED_LIST_TOOL
set -uo pipefail

orv=$1
tool=$2
# CTest points TMPDIR into the build tree, out of reach of whatever empties /tmp on a busy machine.
work=$(mktemp -d "${TMPDIR:-/tmp}/orv-campaign-XXXXXX")
failed=0
trap 'umount "$work/full" 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen ORV_SYSTEM_PROXY=none ORV_FIREFOX_PORTS=1,0

say() { printf 'campaign: %-58s %s\n' "$1" "$2"; }
pass() { say "$1" "ok${2:+ ($2)}"; }
fail() {
    say "$1" "FAILED: $2"
    failed=1
}

# Waits until process pid has a handler for SIGTERM (bit 15 of its caught set), up to 20 s.
catches_term() {
    local pid=$1
    for _ in $(seq 200); do
        local mask
        mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) || return 1
        [ -n "$mask" ] && (((16#$mask >> 14) & 1)) && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Starts the window on a data folder; leaves its pid in $pid.
start_window() {
    ORV_DATA_DIR=$1 "$orv" >"$work/window.log" 2>&1 &
    pid=$!
}

# Waits up to $2 seconds for $1 to end; its exit status in $status, 124 when it did not end.
wait_end() {
    for _ in $(seq $(($2 * 10))); do
        if ! kill -0 "$1" 2>/dev/null; then
            wait "$1"
            status=$?
            return
        fi
        sleep 0.1
    done
    kill -9 "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    status=124
}

# 1. kill -9 at a random moment of the save at exit of a large list: the list is always whole, and no
#    temporary file is left behind.
big=$work/big
mkdir -p "$big"
"$tool" write "$big" 1000000
broken=0
for i in $(seq 20); do
    start_window "$big"
    catches_term "$pid" || { fail "kill -9 during a save: start $i" "the window never got ready"; break; }
    kill -TERM "$pid"
    sleep "0.$((RANDOM % 40))"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    "$tool" check "$big" >"$work/check.log" || broken=$((broken + 1))
done
leftovers=$(find "$big" -name 'list.dat.tmp*' | wc -l)
if [ "$broken" -eq 0 ] && [ "$leftovers" -eq 0 ]; then
    pass "kill -9 during 20 saves of 1,000,000 records" "$(cat "$work/check.log")"
else
    fail "kill -9 during 20 saves of 1,000,000 records" "$broken broken lists, $leftovers temporary files"
fi

# 2. A full disk: the save at exit fails, says so, and the old list stays whole.
mkdir -p "$work/full"
if mount -t tmpfs -o size=4m tmpfs "$work/full" 2>/dev/null; then
    "$tool" write "$work/full" 1000
    dd if=/dev/zero of="$work/full/filler" bs=64k 2>/dev/null
    start_window "$work/full"
    catches_term "$pid" && kill -TERM "$pid"
    wait_end "$pid" 20
    if "$tool" check "$work/full" >/dev/null && grep -q "could not be saved" "$work/window.log"; then
        pass "a full disk at exit" "exit $status, the old list kept, the failure told"
    else
        fail "a full disk at exit" "exit $status; $(head -c 300 "$work/window.log")"
    fi
    umount "$work/full"
else
    say "a full disk at exit" "skipped: this machine does not allow mounting a tmpfs"
fi

# 3. FIFOs where the program reads files: it refuses them instead of waiting for a writer.
for name in list.dat ORV_Setting.ini; do
    dir=$work/fifo-${name%%.*}
    mkdir -p "$dir"
    mkfifo "$dir/$name"
    start_window "$dir"
    if catches_term "$pid"; then
        kill -TERM "$pid"
        wait_end "$pid" 10
        [ "$status" -eq 0 ] && pass "a FIFO as $name" "started, exit 0" || fail "a FIFO as $name" "exit $status"
    else
        kill -9 "$pid" 2>/dev/null
        fail "a FIFO as $name" "the window never got ready"
    fi
done
for variable in ORV_GEOIP_DB ORV_TLS_CA; do
    dir=$work/fifo-$variable
    mkdir -p "$dir"
    mkfifo "$dir/fifo"
    printf '[Settings]\nTestCountry=1\nTestSSL=1\nTimeout=2\n' >"$dir/ORV_Setting.ini"
    echo "127.0.0.1:9" >"$dir/list.txt"
    env ORV_DATA_DIR="$dir" "$variable=$dir/fifo" "$orv" --test "$dir/list.txt" --judge http://127.0.0.1:9/ \
        >"$dir/out.log" 2>&1 &
    wait_end $! 60
    [ "$status" -ne 124 ] && pass "a FIFO as $variable in orv --test" "ended, exit $status" ||
        fail "a FIFO as $variable in orv --test" "still running after 60 s"
done

# 4. Damaged saved lists are moved aside whole before anything is saved over them.
for kind in newer title count random; do
    dir=$work/damaged-$kind
    mkdir -p "$dir"
    "$tool" write "$dir" 1000 "$kind"
    cp "$dir/list.dat" "$work/original"
    start_window "$dir"
    catches_term "$pid" && kill -TERM "$pid"
    wait_end "$pid" 20
    kept=$(find "$dir" -name 'list.dat.*' ! -name '*.tmp*' | head -1)
    if [ -n "$kept" ] && cmp -s "$kept" "$work/original"; then
        pass "a damaged list.dat ($kind)" "kept as $(basename "$kept")"
    else
        fail "a damaged list.dat ($kind)" "no whole copy kept; folder: $(ls "$dir" | tr '\n' ' ')"
    fi
done

# 5. A hang-up (the terminal closed) saves as SIGTERM does.
dir=$work/hangup
mkdir -p "$dir"
"$tool" write "$dir" 1000
rm -f "$dir/list.dat.tmp"*
start_window "$dir"
before=$(stat -c %Y.%s "$dir/list.dat")
sleep 1.1
if catches_term "$pid"; then
    kill -HUP "$pid"
    wait_end "$pid" 20
    after=$(stat -c %Y.%s "$dir/list.dat")
    if [ "$status" -eq 0 ] && [ "$after" != "$before" ] && "$tool" check "$dir" >/dev/null; then
        pass "SIGHUP to the window" "exit 0, the list saved"
    else
        fail "SIGHUP to the window" "exit $status, list.dat $before -> $after"
    fi
else
    fail "SIGHUP to the window" "the window never got ready"
fi

if [ "$failed" -ne 0 ]; then
    echo "campaign: 1 or more cases failed"
    exit 1
fi
echo "campaign: every case held"
