#!/usr/bin/env bash
# Transfer engine against curl on the same lab URLs, in the same run: a download and an upload
# of one file, direct and through the relay, with the lab limited to 1 Gbit/s and unlimited.
# Prints per case the engine's throughput as a ratio of curl's (median of the rounds, the two
# taking turns in each round), CPU seconds per GiB of both, the engine's peak RSS and the longest
# time its event loop was held up; then the peak RSS for a file of 100 MiB, which should be the
# same. The engine syncs a download to the disk before it counts as complete and curl -o does
# not: downloads are also compared with curl -o followed by an fsync of its file.
#   [ROUNDS=3] bench/transfer.sh [BUILD_DIR] [SIZE_MIB]
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build}")
size_mib=${2:-1024}
lab_bin="$build/bin/tovrik-lab"
driver="$build/bench/transferdriver"
for f in "$lab_bin" "$driver"; do
    [ -x "$f" ] || { echo "no $f; build first" >&2; exit 2; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/transfer-bench.XXXXXX")
lab_pid=
cleanup() { [ -n "$lab_pid" ] && kill "$lab_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

"$lab_bin" --sample "$work/sample" >/dev/null
python3 "$(dirname "$0")/labconfig.py" "$work/sample/lab.json" "$work/lab.json" --no-discovery
"$lab_bin" --config "$work/lab.json" --quiet --exit-with-parent >"$work/lab.out" 2>/dev/null &
lab_pid=$!
for _ in $(seq 100); do grep -q '^LAB READY ' "$work/lab.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^LAB READY ' "$work/lab.out" || { echo "the lab did not start" >&2; exit 1; }

python3 - "$work" "$driver" "$size_mib" "${ROUNDS:-3}" <<'PY'
import json, os, shutil, statistics, subprocess, sys, time, urllib.request

work, driver, size_mib, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
ready = json.loads(open(work + "/lab.out").read().split("LAB READY ", 1)[1].splitlines()[0])
dev = ready["devices"][0]
devid, http, mps, relay = dev["id"], dev["http_port"], dev["mps_port"], ready["relay_port"]
partition = dev["root"] + "/sda1"
os.makedirs(partition + "/bench-up", exist_ok=True)
env = dict(os.environ, HOME=work + "/home", KELVORA_DISCOVERY_TARGET="127.0.0.1:9")
os.makedirs(env["HOME"], exist_ok=True)
mib = 1024 * 1024

def make(path, size):
    block = os.urandom(mib)
    with open(path, "wb") as f:
        for _ in range(size):
            f.write(block[: mib // 2] + os.urandom(mib // 2))

def faults(rate):
    body = json.dumps({"*": {"rate_limit_bytes_per_s": rate}} if rate else {}).encode()
    urllib.request.urlopen(urllib.request.Request(
        "http://127.0.0.1:%d/lab/faults" % ready["account_port"], body, method="POST")).read()

def run(argv, then=None):
    """Wall seconds, CPU seconds, peak RSS (MB) and event-loop stall (ms) of one process."""
    start = time.monotonic()
    p = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = p.stdout.read().decode()
    _, status, usage = os.wait4(p.pid, 0)
    if then:
        then()
    wall = time.monotonic() - start
    if status != 0:
        sys.exit("failed: %s\n%s" % (" ".join(argv), out[-500:]))
    stall = 0
    for line in out.splitlines():
        if line.startswith("gui-stall "):
            stall = int(line.split()[1])
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024, stall

def fsync(path):
    fd = os.open(path, os.O_RDONLY)
    os.fsync(fd)
    os.close(fd)

def origin(relayed, port):
    return "http://127.0.0.1:%d" % (relay if relayed else port)

def device_args(relayed):
    args = ["--id", devid, "--host", "127.0.0.1", "--mps-port", str(mps), "--http-port", str(http)]
    return args + (["--relay-port", str(relay)] if relayed else [])

def download(name, size, relayed, engine, synced=False):
    target = work + "/down.bin"
    for p in (target, target + ".vbxdl"):
        if os.path.exists(p):
            os.remove(p)
    if engine:
        return run([driver, "download", "/media/sda1/" + name, target, str(size * mib)] + device_args(relayed))
    url = "%s/media/sda1/%s?x-qm-devid=%s&x-qm-pri=1&x-qm-port=%d" % (origin(relayed, http), name, devid, http)
    return run(["curl", "-s", "-f", "-o", target, url], (lambda: fsync(target)) if synced else None)

def upload(name, size, relayed, engine, synced=False):
    source = work + "/" + name
    if engine:
        return run([driver, "upload", source, "/media/sda1/bench-up"] + device_args(relayed))
    url = ("%s/upload.csp?x-qm-devid=%s&x-qm-pri=1&x-qm-port=%d&uploadpath=/media/sda1/bench-up"
           "&file=%s&opt=overwrite" % (origin(relayed, mps), devid, mps, name))
    return run(["curl", "-s", "-f", "-o", "/dev/null", "-F",
                "file=@%s;type=application/octet-stream" % source, url])

make(partition + "/big.bin", size_mib)
shutil.copy(partition + "/big.bin", work + "/big.bin")
make(partition + "/small.bin", 100)
shutil.copy(partition + "/small.bin", work + "/small.bin")

load = os.getloadavg()[0]
print("file %d MiB, %d rounds, engine and curl taking turns; ratio = curl's time / the engine's "
      "(median; min = the worst round); +sync: against curl -o and an fsync of its file; "
      "load average at start %.1f on %d cores" % (size_mib, rounds, load, os.cpu_count()))
print("%-30s %6s %6s %8s %6s %9s %9s %9s %8s" % ("case", "ratio", "min", "+sync", "MB/s",
      "CPU s/GiB", "curl CPU", "peak RSS", "stall"))
peaks = {}
for rate, rate_name in ((125000000, "1 Gbit/s"), (0, "unlimited")):
    faults(rate)
    for kind, op in (("download", download), ("upload", upload)):
        for relayed in (False, True):
            ratios, synced, engine_cpu, curl_cpu, rss, speeds, stalls = [], [], [], [], [], [], []
            for _ in range(rounds):
                cw, cc, _, _ = op("big.bin", size_mib, relayed, False)
                if kind == "download":
                    synced.append(op("big.bin", size_mib, relayed, False, True)[0])
                ew, ec, er, es = op("big.bin", size_mib, relayed, True)
                ratios.append(cw / ew)
                if kind == "download":
                    synced[-1] /= ew
                engine_cpu.append(ec / (size_mib / 1024))
                curl_cpu.append(cc / (size_mib / 1024))
                rss.append(er)
                stalls.append(es)
                speeds.append(size_mib * mib / 1e6 / ew)
            name = "%s %s, %s" % (kind, "relay" if relayed else "direct", rate_name)
            peaks[(kind, relayed)] = max(peaks.get((kind, relayed), 0), max(rss))
            print("%-30s %6.2f %6.2f %8s %6.0f %9.2f %9.2f %6.1f MB %5d ms" % (
                name, statistics.median(ratios), min(ratios),
                "%.2f" % statistics.median(synced) if synced else "-", statistics.median(speeds),
                statistics.median(engine_cpu), statistics.median(curl_cpu), max(rss), max(stalls)))
faults(0)
for kind, op in (("download", download), ("upload", upload)):
    small = max(op("small.bin", 100, False, True)[2] for _ in range(rounds))
    print("peak RSS %-8s 100 MiB %.1f MB, %d MiB %.1f MB" % (kind, small, size_mib, peaks[(kind, False)]))
PY
