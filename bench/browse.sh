#!/usr/bin/env bash
# Browsing against the lab, in one run: the explorer paging through a folder of 10,000 entries
# (from the page's arrival to the page painted, first and further pages, the longest time the
# event loop was held up, peak RSS, tiles alive), and a folder of 1,000 pictures paged through
# and then scrolled a screen at a time, each screen waiting for its thumbnails, once with an
# empty thumbnail cache and once with all of them cached.
# References measured in the same run: curl fetching the same listing pages, and curl fetching
# the same 1,000 thumbnails over 6 parallel connections (as many as the client's network layer
# opens to one host).
#   [ROUNDS=3] [ENTRIES=10000] [PICTURES=1000] bench/browse.sh [BUILD_DIR]
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build}")
lab_bin="$build/bin/tovrik-lab"
driver="$build/bench/browsedriver"
for f in "$lab_bin" "$driver"; do
    [ -x "$f" ] || { echo "no $f; build first" >&2; exit 2; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/browse-bench.XXXXXX")
lab_pid=
cleanup() { [ -n "$lab_pid" ] && kill "$lab_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

"$lab_bin" --sample "$work/sample" >/dev/null
python3 "$(dirname "$0")/labconfig.py" "$work/sample/lab.json" "$work/lab.json" --no-discovery
"$lab_bin" --config "$work/lab.json" --quiet >"$work/lab.out" 2>/dev/null &
lab_pid=$!
for _ in $(seq 100); do grep -q '^LAB READY ' "$work/lab.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^LAB READY ' "$work/lab.out" || { echo "the lab did not start" >&2; exit 1; }

# Not exec: the exit trap ends the lab.
python3 - "$work" "$driver" "${ROUNDS:-3}" "${ENTRIES:-10000}" "${PICTURES:-1000}" <<'PY'
import json, os, shutil, statistics, subprocess, sys, time, urllib.parse

work, driver, rounds, entries, npictures = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
ready = json.loads(open(work + "/lab.out").read().split("LAB READY ", 1)[1].splitlines()[0])
dev = ready["devices"][0]
devid, xctl = dev["id"], dev["xctl_port"]
partition = dev["root"] + "/sda1"
home = work + "/home"
env = dict(os.environ, HOME=home, QT_QPA_PLATFORM="offscreen", KELVORA_DISCOVERY_TARGET="127.0.0.1:9")

big = partition + "/bench entries"
os.makedirs(big)
for i in range(entries):
    open("%s/f%05d.dat" % (big, i), "w").close()
pictures = partition + "/bench pictures"
subprocess.run([driver, "pictures", pictures, str(npictures)], env=env, check=True)

def drive(mode, path):
    os.makedirs(home, exist_ok=True)
    out = subprocess.run([driver, mode, "--id", devid, "--port", str(xctl), "--path", path],
                         env=env, stdout=subprocess.PIPE, check=True).stdout.decode()
    r = {"page": []}
    for line in out.splitlines():
        key, *values = line.split()
        if key == "page":
            r["page"].append([float(v) for v in values])
        else:
            r[key] = [float(v) for v in values]
    return r

def base(opt):
    return ("http://127.0.0.1:%d/dlna.csp?fname=dlna&opt=%s&x-qm-devid=%s&x-qm-pri=1&x-qm-port=%d"
            "&userid=0&username=0" % (xctl, opt, devid, xctl))

def curl_seconds(urls, parallel=False):
    cfg = work + "/curl.cfg"
    with open(cfg, "w") as f:
        for u in urls:
            f.write('url = "%s"\noutput = "/dev/null"\n' % u)
    start = time.monotonic()
    subprocess.run(["curl", "-s", "--no-progress-meter", "-f", "-K", cfg] + (["-Z", "--parallel-max", "6"] if parallel else []),
                   check=True)
    return time.monotonic() - start

quoted = lambda p: urllib.parse.quote(p, safe="/")
first_page_url = base("querydir") + "&start=0&count=100&path=" + quoted("/media/sda1/bench entries")
next_page_url = base("querydir") + "&start=5000&count=50&path=" + quoted("/media/sda1/bench entries")
thumb_urls = [base("getfiledata") + "&order=1&size=0&path=" + quoted("/media/sda1/bench pictures/p%05d.jpg" % i)
              for i in range(npictures)]

print("%d rounds; load average at start %.1f on %d cores" % (rounds, os.getloadavg()[0], os.cpu_count()))
firsts, pages, page_max, stalls, rss, curl_first, curl_page, tiles = [], [], [], [], [], [], [], []
first_cpu, page_cpu, page_cpu_max, stall_cpu = [], [], [], []
for _ in range(rounds):
    curl_first.append(curl_seconds([first_page_url] * 20) / 20 * 1000)
    curl_page.append(curl_seconds([next_page_url] * 20) / 20 * 1000)
    r = drive("pages", "/media/sda1/bench entries")
    assert r["rows"][0] == entries, r["rows"]
    firsts.append(r["first-page"][0])
    first_cpu.append(r["first-page"][1])
    pages.append(statistics.mean(p[0] for p in r["page"]))
    page_max.append(max(p[0] for p in r["page"]))
    page_cpu.append(statistics.mean(p[1] for p in r["page"]))
    page_cpu_max.append(max(p[1] for p in r["page"]))
    stalls.append(r["gui-stall"][0])
    stall_cpu.append(r["gui-stall"][1])
    rss.append(r["peak-rss"][0] / 1024)
    tiles.append(r["widgets"][0])
m = statistics.median
print("%d entries, %d further pages of 50" % (entries, len(r["page"])))
print("  (wall time; CPU = the GUI thread's own CPU time, which other processes on the cores do not inflate)")
print("  first page (100), arrival to painted: %6.1f ms (CPU %.1f)   curl fetching it: %5.1f ms   ratio %.2f" %
      (m(firsts), m(first_cpu), m(curl_first), m(firsts) / m(curl_first)))
print("  further page (50), arrival to painted: %5.1f ms mean (CPU %.1f), worst %.1f ms (CPU %.1f)   curl: %.1f ms   ratio %.2f" %
      (m(pages), m(page_cpu), max(page_max), max(page_cpu_max), m(curl_page), m(pages) / m(curl_page)))
print("  longest event-loop stall: %.1f ms wall, %.1f ms CPU (limit 50 ms)" % (max(stalls), max(stall_cpu)))
print("  peak RSS after all %d: %.1f MB, %d tiles alive" % (entries, max(rss), max(tiles)))

cold, warm, curl_thumbs, cold_requests, warm_requests, thumb_stall = [], [], [], [], [], []
for _ in range(rounds):
    shutil.rmtree(home + "/tmp", ignore_errors=True)
    curl_thumbs.append(curl_seconds(thumb_urls, True) * 1000)
    r = drive("thumbs", "/media/sda1/bench pictures")
    cold.append(r["thumbs"][0]); cold_requests.append(r["thumbs"][1]); thumb_stall.append(r["gui-stall"])
    r = drive("thumbs", "/media/sda1/bench pictures")
    warm.append(r["thumbs"][0]); warm_requests.append(r["thumbs"][1]); thumb_stall.append(r["gui-stall"])
print("%d pictures, listed, then scrolled through screen by screen until each shows its thumbnails" % npictures)
print("  none cached: %7.0f ms (%d thumbnail requests)   curl fetching the thumbnails: %.0f ms   ratio %.2f" %
      (m(cold), max(cold_requests), m(curl_thumbs), m(cold) / m(curl_thumbs)))
print("  all cached:  %7.0f ms (%d thumbnail requests)   cached / none cached: %.2f" %
      (m(warm), max(warm_requests), m(warm) / m(cold)))
print("  longest event-loop stall: %.1f ms wall, %.1f ms CPU" % (max(s[0] for s in thumb_stall), max(s[1] for s in thumb_stall)))
PY
