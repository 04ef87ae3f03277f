#!/usr/bin/env bash
# Memory of the client under a flood of hostile discovery answers: 1000 datagrams of 64 KB, each
# a JSON object that repeats one key thousands of times. Anyone on the LAN can send these. Prints
# the resident memory before and after the flood and their ratio (a ratio near 1 means flat).
#   bench/discovery_flood.sh [BIN_DIR] [DISCOVERY_PORT] [COUNT] [BYTES]
# BYTES below the client's datagram cap (4096) sends the repeated keys through its JSON reader.
set -euo pipefail
bin=${1:-$(dirname "$0")/../build/bin}
port=${2:-39000}
count=${3:-1000}
size=${4:-65000}
[ -x "$bin/kelvora" ] || { echo "no $bin/kelvora; build first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/flood-bench.XXXXXX")
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/home" "$work/tmp" "$work/run" && chmod 700 "$work/run"

python3 - "$bin/kelvora" "$work" "$port" "$count" "$size" <<'PY'
import os, socket, subprocess, sys, time
binary, work, port, count, size = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listener.bind(("127.0.0.1", port))
listener.settimeout(30)
env = dict(os.environ, HOME=work + "/home", TMPDIR=work + "/tmp", XDG_RUNTIME_DIR=work + "/run",
           XDG_CONFIG_HOME=work + "/home/.config", QT_QPA_PLATFORM="offscreen",
           KELVORA_DISCOVERY_TARGET="127.0.0.1:%d" % port,
           KELVORA_DEVICE_MANAGER="http://127.0.0.1:9", KELVORA_ACCOUNT_SERVICE="http://127.0.0.1:9")
client = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

def rss_kib():
    with open("/proc/%d/status" % client.pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])

try:
    request, sender = listener.recvfrom(65535)  # the client's discovery datagram
    time.sleep(2)
    before = rss_kib()
    body = b'{"id":"TVK0000000099","ip":"127.0.0.1"'
    while len(body) < size - 10:
        body += b',"a":[[]]'
    body += b"}"
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sent = 0
    for i in range(count):
        out.sendto(body, sender)
        sent += 1
        time.sleep(0.004)  # the client's socket buffer holds only a few of these
    time.sleep(3)
    after = rss_kib()
    print("datagrams %d x %d bytes" % (sent, len(body)))
    print("rss before %.1f MiB, after %.1f MiB, ratio after/before %.2f"
          % (before / 1024, after / 1024, after / before))
finally:
    client.terminate()
    client.wait(10)
PY
