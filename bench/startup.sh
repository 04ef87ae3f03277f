#!/usr/bin/env bash
# Start-up: the time from starting the program to its login dialog mapped on an X server
# (Xvfb, a display of its own), against the same for a Qt program that only shows one window
# (bench/minimalwindow), taking turns in each round. Each start has a HOME of its own (no saved
# sign-in), services on a closed loopback port, and is ended once its window is up.
#   [ROUNDS=5] bench/startup.sh [BUILD_DIR]
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build}")
program="$build/bin/kelvora"
reference="$build/bench/minimalwindow"
for f in "$program" "$reference"; do
    [ -x "$f" ] || { echo "no $f; build first" >&2; exit 2; }
done
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps)" >&2; exit 2; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/startup-bench.XXXXXX")
xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it accepts clients. Other programs on
# the machine start their own servers too: a start that loses a race for a display is retried.
for attempt in 1 2 3; do
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    # The number is complete once its line ends.
    for _ in $(seq 200); do [ "$(wc -l <"$work/display")" -ge 1 ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$work/display")"
    if kill -0 "$xvfb_pid" 2>/dev/null && xdotool getdisplaygeometry >/dev/null 2>&1; then
        break
    fi
    kill "$xvfb_pid" 2>/dev/null
    xvfb_pid=
done
[ -n "$xvfb_pid" ] || { echo "Xvfb did not start" >&2; exit 1; }

# Not exec: the exit trap ends Xvfb.
python3 - "$work" "$program" "$reference" "${ROUNDS:-5}" <<'PY'
import os, shutil, statistics, subprocess, sys, time

work, program, reference, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
closed = "http://127.0.0.1:9"

def mapped_after(binary):
    home = work + "/home"
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(home)
    env = dict(os.environ, HOME=home, KELVORA_ACCOUNT_SERVICE=closed, KELVORA_DEVICE_MANAGER=closed,
               KELVORA_CLOUD_SITE=closed + "/", KELVORA_DISCOVERY_TARGET="127.0.0.1:9")
    start = time.monotonic()
    p = subprocess.Popen([binary], env=env, cwd=home, stdout=subprocess.DEVNULL, stderr=open(work + "/stderr", "w"))
    try:
        while time.monotonic() - start < 60:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(p.pid)],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.split()
            if found:
                ms = (time.monotonic() - start) * 1000
                shape = subprocess.run(["xdotool", "getwindowgeometry", found[0]],
                                       stdout=subprocess.PIPE).stdout.decode()
                return ms, " ".join(shape.split()[2:])
            if p.poll() is not None:
                sys.exit("%s ended with %d before showing a window: %s" % (binary, p.returncode, open(work + "/stderr").read()[-400:]))
        sys.exit("%s showed no window within 60 s" % binary)
    finally:
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()

ours, refs = [], []
for _ in range(rounds):
    refs.append(mapped_after(reference)[0])
    ms, shape = mapped_after(program)
    ours.append(ms)
m = statistics.median
print("start to login dialog mapped (median of %d, polled every few ms)" % rounds)
print("  kelvora: %.0f ms (best %.0f)   a minimal Qt window: %.0f ms   ratio %.2f" %
      (m(ours), min(ours), m(refs), m(ours) / m(refs)))
print("  its window: " + shape)
PY
