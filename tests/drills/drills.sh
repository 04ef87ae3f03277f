#!/usr/bin/env bash
# Reliability drills: the real client (bin/kelvora, offscreen) against the lab on free loopback
# ports, signing in by itself from a remembered account and resuming the transfers a session
# before it left (seeded through the store's own functions):
#   kill    kill -9 at random moments of downloads and uploads, each time started again
#   drop    the device cuts every connection after a random number of bytes
#   full    the disk of a download fills up, then gets room again
#   faults  every service the client reaches answers broken, refusing, late or not at all
# After each: the files byte for byte (downloads against the device's, uploads as the device
# stored them), PRAGMA integrity_check on data.db, no crash report, and an exit code 0 on
# SIGTERM (the event loop still answers).
#   drills.sh BIN_DIR SEED_PROGRAM        DRILL_KILLS (3), DRILL_ROUNDS (2) set the length
set -u
BIN=$1 SEED=$2 KILLS=${DRILL_KILLS:-3} ROUNDS=${DRILL_ROUNDS:-2}
W=$(mktemp -d "${TMPDIR:-/tmp}/drills.XXXXXX")
LAB_PID='' CPID='' MOUNTED=''
cleanup() {
    [ -n "$CPID" ] && kill -KILL "$CPID" 2>/dev/null
    [ -n "$LAB_PID" ] && kill -TERM "$LAB_PID" 2>/dev/null && wait "$LAB_PID" 2>/dev/null
    [ -n "$MOUNTED" ] && umount "$MOUNTED"
    [ -n "${KELVORA_KEEP_TEST_HOME:-}" ] || rm -rf "$W"
}
trap cleanup EXIT
TABLE=() FAILED=0
fail() { echo "FAIL [$DRILL]: $*" >&2; FAILS=$((FAILS + 1)); }

# ---- the lab ---------------------------------------------------------------------------------
"$BIN/tovrik-lab" --sample "$W/lab" >/dev/null || exit 1
python3 - "$W/lab/lab.json" <<'EOF' || exit 1
import json, sys
def free(v):
    if isinstance(v, dict):
        return {k: 0 if (k == "port" or k.endswith("_port")) and isinstance(x, int) else free(x)
                for k, x in v.items()}
    return [free(x) for x in v] if isinstance(v, list) else v
c = json.load(open(sys.argv[1])); json.dump(free(c), open(sys.argv[1], "w"))
EOF
"$BIN/tovrik-lab" --config "$W/lab/lab.json" --exit-with-parent --ready-file "$W/ready" \
    >/dev/null 2>"$W/lab.log" &
LAB_PID=$!
wait_for() { # SECONDS COMMAND...: true once COMMAND is, false when the time ran out
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -ge $end ] && return 1; sleep 0.2; done
}
wait_for 60 test -s "$W/ready" || { echo "the lab did not start" >&2; exit 1; }
read -r ACC DEV ROOT DISC < <(python3 -c '
import json, sys; r = json.load(open(sys.argv[1])); d = r["devices"][0]
print(r["account_port"], d["id"], d["root"], d["discovery_port"])' "$W/ready")
LAB=http://127.0.0.1:$ACC
faults() { curl -sf -o /dev/null -X POST --data-binary "$1" "$LAB/lab/faults"; }

# ---- the client ------------------------------------------------------------------------------
H='' DB='' RUNLOG=''
new_home() { # a data directory of its own, signed in before
    H=$W/$1; DB=$H/home/kelvora/data.db
    mkdir -p "$H/home" "$H/files" && mkdir -m 700 "$H/tmp"
    HOME=$H/home "$SEED" login demo demo123 || fail "seeding the sign-in"
}
seed() { HOME=$H/home "$SEED" "$@" >/dev/null 2>&1 || fail "seeding $*"; }
q() { sqlite3 -cmd '.timeout 10000' "$DB" "$1"; }
start_client() { # [DISCOVERY]: the device also answers on the LAN (the direct route)
    RUNLOG=$H/run.$((++RUNS)).log
    : >"$RUNLOG"
    env HOME="$H/home" TMPDIR="$H/tmp" XDG_RUNTIME_DIR="$H/tmp" QT_QPA_PLATFORM=offscreen \
        QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software \
        KELVORA_DEVICE_MANAGER="$LAB" KELVORA_ACCOUNT_SERVICE="$LAB" KELVORA_CLOUD_SITE="$LAB" \
        KELVORA_DISCOVERY_TARGET="127.0.0.1:${1:-9}" "$BIN/kelvora" >>"$RUNLOG" 2>&1 &
    CPID=$!
}
logged() { grep -c -- "$1" "$RUNLOG"; }
# Ends the client with SIGTERM: it must still run, end with 0 and leave no crash report.
stop_client() {
    local rc
    kill -0 "$CPID" 2>/dev/null || fail "the client died: $(tail -3 "$RUNLOG")"
    kill -TERM "$CPID"; wait "$CPID"; rc=$?; CPID=''
    [ $rc = 0 ] || fail "the client ended with $rc on SIGTERM: $(tail -3 "$RUNLOG")"
    crashed
}
crashed() { ! ls "$H/tmp/kelvora/"* >/dev/null 2>&1 || fail "crash report: $(ls "$H/tmp/kelvora")"; }
kill_client() { kill -KILL "$CPID"; wait "$CPID" 2>/dev/null; CPID=''; }
unfinished() { q "SELECT (SELECT count(*) FROM download WHERE status != 3) +
                         (SELECT count(*) FROM upload WHERE status != 3)"; }
all_done() { [ "$(unfinished)" = 0 ]; }
intact_db() { [ "$(q 'PRAGMA integrity_check')" = ok ] || fail "integrity_check of data.db"; }

# Files of the drill: "down SOURCE LOCAL" and "up LOCAL DEVICEFILE" lines.
FILES=()
add_download() { # NAME SIZE_KIB
    head -c $(($2 * 1024)) /dev/urandom >"$ROOT/sda1/$1"
    seed download "$DEV" "/media/sda1/$1" "$H/files/$1" $(($2 * 1024))
    FILES+=("down|$ROOT/sda1/$1|$H/files/$1")
}
add_upload() { # NAME SIZE_KIB
    head -c $(($2 * 1024)) /dev/urandom >"$H/files/$1"
    seed upload "$DEV" /media/sda1 "$H/files/$1"
    FILES+=("up|$H/files/$1|$ROOT/sda1/$1")
}
# What is on disk so far is right: a download's temporary file is the start of the device's
# file, a finished file is the whole of it.
check_parts() {
    local kind a b
    for f in "${FILES[@]}"; do
        IFS='|' read -r kind a b <<<"$f"
        [ "$kind" = down ] || continue
        [ ! -e "$b.vbxdl" ] || cmp -s -n "$(stat -c %s "$b.vbxdl")" "$b.vbxdl" "$a" ||
            fail "the temporary file of $b is not the start of the device's file"
        [ ! -e "$b" ] || cmp -s "$a" "$b" || fail "$b differs from the device's file"
    done
}
# Every file whole and the same on both sides; counts the bytes compared.
check_files() {
    local kind a b
    for f in "${FILES[@]}"; do
        IFS='|' read -r kind a b <<<"$f"
        if [ "$(sha256sum <"$a")" = "$(sha256sum <"$b" 2>/dev/null)" ]; then
            BYTES=$((BYTES + $(stat -c %s "$a")))
        else
            fail "$b is not the same as $a"
        fi
    done
    # A transfer run again after it had ended replaced its file, never added a second copy.
    local copies
    copies=$(find "$ROOT/sda1" "$H/files" -maxdepth 1 -name '* ([0-9])*' -newer "$W/ready" | wc -l)
    [ "$copies" = 0 ] || fail "$copies second copies of transferred files"
}
# Starts the client until every transfer completed, then checks everything.
finish() {
    faults '{}'
    start_client "$@"
    wait_for 300 all_done || fail "transfers left unfinished: $(q 'SELECT status, bytes_completed, local_path FROM download WHERE status != 3')"
    stop_client; intact_db; check_files
}
# One run of a drill: survived when nothing failed meanwhile.
run_begin() { F0=$FAILS; }
run_end() { [ "$FAILS" = "$F0" ] && SURVIVED=$((SURVIVED + 1)); }
new_drill() { DRILL=$1 FAILS=0 BYTES=0 RUNS=0 SURVIVED=0 FILES=(); new_home "$1"; }
# A failure of the final check counts against the last run.
record() { # RUNS
    [ "$FAILS" = 0 ] || { FAILED=1; [ "$SURVIVED" = "$1" ] && SURVIVED=$((SURVIVED - 1)); }
    TABLE+=("$(printf '%-8s %6d %9d %14d' "$DRILL" "$1" "$SURVIVED" "$BYTES")")
}

# ---- kill: kill -9 at random moments of the transfers ----------------------------------------
new_drill kill
# Sized so that a transfer still runs at every kill: the big upload starts over each time.
add_download "drill 下载 #1 '%&.bin" $((KILLS * 512 + 1024))
add_download "drill 下载 #2 \"a+b\";c.bin" 2048
add_upload "drill 上传 #1 100%.bin" 256
add_upload "drill 上传 #2 & 'x'.bin" 3072
faults "{\"$DEV\": {\"rate_limit_bytes_per_s\": 1000000}}"
for ((i = 1; i <= KILLS; i++)); do
    run_begin; start_client "$DISC"
    # Once a transfer is on its way this run, at a random moment within the next 2 s.
    if wait_for 60 eval '[ "$(logged "^download:\|^upload:")" -gt 0 ]'; then
        sleep "$((RANDOM % 2)).$((RANDOM % 1000))"
    else
        fail "kill $i: no transfer started: $(tail -3 "$RUNLOG")"
    fi
    kill -0 "$CPID" 2>/dev/null || fail "kill $i: the client had died"
    crashed; kill_client
    intact_db; check_parts; run_end
done
finish "$DISC"
record "$KILLS"

# ---- drop: the device cuts the connections ---------------------------------------------------
new_drill drop
# More than the rounds let through, so that every round cuts one short.
add_download "drop 断开 #1.bin" $((ROUNDS * 1024 + 1024))
add_download "drop 断开 #2.bin" 2048
add_upload "drop 上传 #1.bin" 1536
# Every transfer unfinished at the start went out this run, and none runs or waits any more.
ended() {
    [ "$(logged '^download:\|^upload:')" -ge "$left" ] &&
        [ "$(q 'SELECT (SELECT count(*) FROM download WHERE status IN (0,1,5)) +
                       (SELECT count(*) FROM upload WHERE status IN (0,1,5))')" = 0 ]
}
for ((i = 1; i <= ROUNDS; i++)); do
    # Through the relay (no LAN answer); each connection ends after 100 KiB to 1 MiB.
    faults "{\"$DEV\": {\"drop_after_bytes\": $(((RANDOM % 900 + 100) * 1024))}}"
    run_begin; left=$(unfinished); start_client
    wait_for 120 ended || fail "round $i: transfers did not end"
    # Cut short: Failed, resumable from what arrived.
    [ "$(q 'SELECT count(*) FROM download WHERE status = 4 AND bytes_completed < bytes_total')" -gt 0 ] ||
        fail "round $i: no download ended Failed part-way"
    [ "$(q 'SELECT count(*) FROM download WHERE status NOT IN (3, 4)')" = 0 ] ||
        fail "round $i: a download neither Failed nor Complete"
    stop_client; intact_db; check_parts; run_end
done
finish
record "$ROUNDS"

# ---- full: the disk of the data directory and the download fills up -------------------------
new_drill full
small=$W/small
mkdir -p "$small"
if mount -t tmpfs -o size=2m tmpfs "$small" 2>"$W/mount.err"; then
    MOUNTED=$small
    mv "$H" "$small/" && H=$small/full DB=$H/home/kelvora/data.db
    head -c $((6 * 1024 * 1024)) /dev/urandom >"$ROOT/sda1/full 满.bin"
    seed download "$DEV" "/media/sda1/full 满.bin" "$H/files/full 满.bin" $((6 * 1024 * 1024))
    FILES=("down|$ROOT/sda1/full 满.bin|$H/files/full 满.bin")
    run_begin; start_client
    # The database cannot take the new status either: the reason is in the debug output.
    wait_for 120 grep -q 'task failed: cannot write' "$RUNLOG" || fail "the download did not fail"
    grep -q 'task failed: cannot write.*No space left' "$RUNLOG" ||
        fail "not told the disk is full: $(grep 'task failed' "$RUNLOG")"
    stop_client; intact_db; check_parts; run_end
    # Room again: the same download resumes and completes.
    mount -o remount,size=16m "$small"
    finish
    record 1
    umount "$small" && MOUNTED=''
else
    echo "full: skipped, no small file system can be mounted here: $(cat "$W/mount.err")"
    TABLE+=("$(printf '%-8s %6s %9s %14s' full - - "skipped")")
fi

# ---- faults: broken answers from every service the client reaches by itself ------------------
new_drill faults
# SCOPE KEY VALUE EVIDENCE: the evidence that the broken answer was met and handled, in the
# client's debug output or the lab's log of this run: a toast, a transfer ended as failed, or
# (where the client keeps quiet by design) the broken answer served.
CASES=(
    "account malformed_json truncated toast:.登录失败" "account malformed_json nonobject toast:.登录失败"
    "account malformed_json garbage toast:.登录失败" "account force_code 8 toast:.登录失败"
    "account ret 1 querydevice.*200" "$DEV malformed_json truncated opt=getusbinfo.*200"
    "$DEV malformed_json garbage opt=getusbinfo.*200" "$DEV malformed_json nonobject opt=getusbinfo.*200"
    "$DEV rtn 5 opt=getusbinfo.*200" "$DEV offline true task.err" "$DEV drop_after_bytes 0 task.err"
    "relay drop_after_bytes 10 task.err" "$DEV delay_ms 31000,\"only\":[\"xctl\"] request.ended:.time-out"
    # Last: the late sign-in still ends at the lab after the client gave up waiting.
    "account delay_ms 15000 toast:.登录失败，请检查网络"
)
n=0
for c in "${CASES[@]}"; do
    read -r scope key value evidence <<<"$c"
    [[ $value =~ ^[a-z]+$ && $value != true ]] && value="\"$value\""
    add_download "faults $((++n)) 坏.bin" 128
    add_upload "faults $n 坏 上传.bin" 128
    faults "{\"$scope\": {\"$key\": $value}}" || fail "$c: the lab refused the switch"
    run_begin; lines=$(wc -l <"$W/lab.log"); start_client
    met() { tail -n +$((lines + 1)) "$W/lab.log" | cat "$RUNLOG" - | grep -q -- "$evidence"; }
    wait_for 90 met || fail "$c: not met: $(tail -3 "$RUNLOG")"
    stop_client; intact_db; run_end
done
logins() { tail -n +$((lines + 1)) "$W/lab.log" | grep -c 'POST /account/login'; }
wait_for 60 eval '[ "$(logins)" -gt 0 ]' || fail "the late sign-in never ended"
# A transfer taken for finished under a broken answer would be found wrong here.
finish
record "${#CASES[@]}"

printf '%-8s %6s %9s %14s\n' drill runs survived "bytes checked"
printf '%s\n' "${TABLE[@]}"
[ $FAILED = 0 ] && echo "drills: all survived" || echo "drills: FAILED"
exit $FAILED
