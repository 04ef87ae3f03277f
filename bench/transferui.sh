#!/usr/bin/env bash
# The transfer pages under load, against the engine alone, in the same run: the main window
# (under its own Xvfb, showing the download list) queues 1,000 downloads through its download
# action, the first a big file; then the same big download by the task manager without a window
# (and by the engine's own benchmark driver). Prints per round and as medians: the time the
# 1,000 took to queue, the window's CPU seconds during the big download against the engine's
# (the ratio should stay within 1.2), the longest event-loop stall while the progress flowed
# (should stay under 50 ms), and the longest stall while the 999 small ones then finished.
# The engine's longest stall on the same machine at the same time is printed beside the window's:
# on a loaded machine both include the scheduler's delays.
#   [ROUNDS=3] [WRAP="perf record -g --"] bench/transferui.sh [BUILD_DIR] [SIZE_MIB]
# WRAP runs the window under a profiler (its t-start/t-end lines bound the download).
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build}")
size_mib=${2:-1024}
lab_bin="$build/bin/tovrik-lab"
gui="$build/bench/transferui"
driver="$build/bench/transferdriver"
for f in "$lab_bin" "$gui" "$driver"; do
    [ -x "$f" ] || { echo "no $f; build first" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "no Xvfb" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/transferui-bench.XXXXXX")
lab_pid=
xvfb_pid=
cleanup() {
    [ -n "$lab_pid" ] && kill "$lab_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$lab_bin" --sample "$work/sample" >/dev/null 2>&1
python3 "$(dirname "$0")/labconfig.py" "$work/sample/lab.json" "$work/lab.json"
"$lab_bin" --config "$work/lab.json" --quiet >"$work/lab.out" 2>/dev/null &
lab_pid=$!
for _ in $(seq 100); do grep -q '^LAB READY ' "$work/lab.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^LAB READY ' "$work/lab.out" || { echo "the lab did not start" >&2; exit 1; }

# Xvfb picks a free display and writes its number to descriptor 3.
sh -c 'exec Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1280x800x24 3>"$0"' \
    "$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -1 "$work/display")"

python3 - "$work" "$gui" "$driver" "$size_mib" "${ROUNDS:-3}" "$display" <<'PY'
import json, os, shutil, statistics, subprocess, sys

work, gui, driver, size_mib, rounds, display = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
ready = json.loads(open(work + "/lab.out").read().split("LAB READY ", 1)[1].splitlines()[0])
dev = ready["devices"][0]
partition = dev["root"] + "/sda1"
mib = 1024 * 1024
small_count, small_size = 999, 4096
os.makedirs(partition + "/bench-small", exist_ok=True)
with open(partition + "/big.bin", "wb") as f:
    block = os.urandom(mib)
    for _ in range(size_mib):
        f.write(block)
for i in range(small_count):
    with open(partition + "/bench-small/f%04d.bin" % i, "wb") as f:
        f.write(os.urandom(small_size))

def run(argv, gui_env):
    """Figures the program printed, and its CPU seconds as the system counted them."""
    home = work + "/home"
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(home)
    folder = work + "/down"
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    env = dict(os.environ, HOME=home, KELVORA_DISCOVERY_TARGET="127.0.0.1:%d" % (dev["discovery_port"] or 9))
    env.pop("QT_QPA_PLATFORM", None)
    if gui_env:
        env.update(DISPLAY=display, QTWEBENGINE_DISABLE_SANDBOX="1")
    argv = [a.replace("@FOLDER@", folder) for a in argv]
    if gui_env and os.environ.get("WRAP"):
        argv = os.environ["WRAP"].split() + argv
    p = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = p.stdout.read().decode()
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit("failed: %s\n%s" % (" ".join(argv), out[-800:]))
    figures = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 2:
            try:
                figures[parts[0]] = float(parts[1])
            except ValueError:
                pass
    figures["process-cpu-s"] = usage.ru_utime + usage.ru_stime
    return figures

big = ["--folder", "@FOLDER@", "--big", "/media/sda1/big.bin", str(size_mib * mib)]
window_cmd = [gui] + big + ["--small", "/media/sda1/bench-small", str(small_count), str(small_size)]
engine_cmd = [gui, "--engine-only"] + big + ["--id", dev["id"], "--port", str(dev["http_port"])]
driver_cmd = [driver, "download", "/media/sda1/big.bin", "@FOLDER@/big.bin", str(size_mib * mib),
              "--id", dev["id"], "--host", "127.0.0.1", "--mps-port", str(dev["mps_port"]),
              "--http-port", str(dev["http_port"])]

print("%d MiB download, %d more queued behind it; %d rounds; load average at start %.1f on %d cores"
      % (size_mib, small_count, rounds, os.getloadavg()[0], os.cpu_count()))
print("%-6s %9s %11s %11s %11s %7s %11s %9s %10s %12s %12s" % ("round", "queue ms", "window CPU",
      "engine CPU", "driver CPU", "ratio", "start stall", "stall ms", "stalls>50", "engine stall",
      "finish stall"))
rows = []
for r in range(rounds):
    w = run(window_cmd, True)
    e = run(engine_cmd, False)
    d = run(driver_cmd, False)
    ratio = w["cpu-s"] / e["cpu-s"]
    rows.append((w["queue-ms"], w["cpu-s"], e["cpu-s"], d["process-cpu-s"], ratio,
                 w.get("start-stall-ms", w["stall-ms"]), w["stall-ms"], w["stalls-over-50ms"],
                 e["stall-ms"], w["finish-stall-ms"]))
    print("%-6d %9.0f %11.2f %11.2f %11.2f %7.2f %11.0f %9.0f %10.0f %12.0f %12.0f" % ((r + 1,) + rows[-1]))
med = [statistics.median(c) for c in zip(*rows)]
print("%-6s %9.0f %11.2f %11.2f %11.2f %7.2f %11.0f %9.0f %10.0f %12.0f %12.0f" % (("median",) + tuple(med)))
print("window CPU / engine CPU during the download: %.2f (target <= 1.2); "
      "window / the engine's own driver (whole process): %.2f" % (med[4], med[1] / med[3]))
print("longest stall while progress flowed: %.0f ms (target < 50), the engine alone on this "
      "machine meanwhile: %.0f ms (their ratio %.2f); right after queueing the 1,000: %.0f ms"
      % (max(r[6] for r in rows), max(r[8] for r in rows),
         max(r[6] for r in rows) / max(1, max(r[8] for r in rows)), max(r[5] for r in rows)))
PY
