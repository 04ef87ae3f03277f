#!/usr/bin/env bash
# Download throughput of the lab against python3 -m http.server serving the same file, in the
# same run: direct from a device's http port, and through the relay. Prints ratios (lab/python);
# a ratio of 1 or more means the lab keeps up with the reference.
#   [ROUNDS=5] bench/lab_download.sh [BUILD_DIR] [SIZE_MIB]
set -euo pipefail
build=${1:-$(dirname "$0")/../build}
size_mib=${2:-512}
lab_bin="$build/bin/tovrik-lab"
[ -x "$lab_bin" ] || { echo "no $lab_bin; build the tovrik-lab target first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/lab-bench.XXXXXX")
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

"$lab_bin" --sample "$work/sample" >/dev/null
# Free ports everywhere, so a running demo lab is not disturbed.
python3 "$(dirname "$0")/labconfig.py" "$work/sample/lab.json" "$work/lab.json"
dev=TVK0000000001
root="$work/sample/devices/$dev/sda1"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$root/bench.bin"

"$lab_bin" --config "$work/lab.json" --quiet > "$work/lab.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do grep -q '^LAB READY ' "$work/lab.out" 2>/dev/null && break; sleep 0.1; done
ready=$(sed -n 's/^LAB READY //p' "$work/lab.out")
[ -n "$ready" ] || { echo "the lab did not start" >&2; exit 1; }
read -r http relay < <(python3 -c 'import json,sys; r=json.loads(sys.argv[1]); d=r["devices"][0]; print(d["http_port"], r["relay_port"])' "$ready")

pyport=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
(cd "$root" && exec python3 -m http.server "$pyport" --bind 127.0.0.1 >/dev/null 2>&1) &
pids+=($!)
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$pyport/" && break; sleep 0.1; done

rounds=${ROUNDS:-5}
speed() { # bytes per second of one read by curl
    local s
    s=$(curl -s -o /dev/null -w '%{speed_download}' "$1")
    echo "${s%.*}"
}
# The three readers take turns in each round, so that a busy machine slows them alike.
results=()
for _ in $(seq "$rounds"); do
    results+=("$(speed "http://127.0.0.1:$pyport/bench.bin")"
              "$(speed "http://127.0.0.1:$http/media/sda1/bench.bin")"
              "$(speed "http://127.0.0.1:$relay/media/sda1/bench.bin?x-qm-devid=$dev&x-qm-pri=1&x-qm-port=$http")")
done
python3 - "$size_mib" "${results[@]}" <<'PY'
import statistics, sys
size = int(sys.argv[1])
values = [int(x) for x in sys.argv[2:]]
ref, direct, relayed = values[0::3], values[1::3], values[2::3]
mib = 1024 * 1024
print(f"file {size} MiB, {len(ref)} rounds, read by curl; best of the rounds, and the median of the per-round ratios")
def line(name, xs):
    ratios = [x / r for x, r in zip(xs, ref)]
    print(f"{name:36} {max(xs) / mib:7.0f} MiB/s  best {max(xs) / max(ref):.2f}  median {statistics.median(ratios):.2f}")
line("python3 -m http.server (reference)", ref)
line("lab http port (direct)", direct)
line("lab relay", relayed)
PY
