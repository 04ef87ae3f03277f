#!/usr/bin/env bash
# Runs one test with its own fresh HOME and TMPDIR, so the data directory, data.db, the
# settings file and the caches never leak between tests or into the developer's home.
set -u
root=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-test.XXXXXX")
mkdir -p "$root/home" "$root/tmp"
export HOME="$root/home" TMPDIR="$root/tmp" XDG_CONFIG_HOME="$root/home/.config"
export XDG_RUNTIME_DIR="$root/tmp/runtime"; mkdir -p -m 700 "$XDG_RUNTIME_DIR"
# In a sanitizer build every process the test starts (the lab, the client, helpers) writes its
# reports into one folder, so that a finding fails the test even where its exit code is not read.
reports="$root/sanitizer"
if [ -n "${KELVORA_SANITIZE:-}" ]; then
    mkdir -p "$reports"
    export ASAN_OPTIONS="${ASAN_OPTIONS:-}:log_path=$reports/asan"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:log_path=$reports/ubsan"
fi
"$@"
rc=$?
for f in "$reports"/*; do
    [ -e "$f" ] || continue
    echo "== sanitizer output $(basename "$f")" >&2
    cat "$f" >&2
    if grep -qE 'ERROR: [A-Za-z]+Sanitizer|runtime error:' "$f" && [ $rc -eq 0 ]; then rc=1; fi
done
# Tests that kill or crash the program leave its shared-memory segment behind (the kernel keeps
# SysV segments); drop the orphaned ones keyed by files in this test's TMPDIR.
for f in "$TMPDIR"/qipc_sharedmemory_* "$TMPDIR"/*.key "$TMPDIR"/*/*.key "$HOME"/.cache/*/*.key; do
    [ -e "$f" ] || continue
    read -r dev ino < <(stat -c '%d %i' "$f")
    key=$(printf '0x%08x' $(( (0x51 << 24) | ((dev & 0xff) << 16) | (ino & 0xffff) )))
    ipcs -m | awk -v k="$key" '$1 == k && $6 == 0 { print $2 }' | xargs -r -n1 ipcrm -m 2>/dev/null
done
if [ -z "${KELVORA_KEEP_TEST_HOME:-}" ]; then rm -rf "$root"; else echo "test home kept: $root" >&2; fi
exit $rc
