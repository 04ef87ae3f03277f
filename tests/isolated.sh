#!/usr/bin/env bash
# Runs one test with its own fresh HOME and TMPDIR, so the data directory, data.db, the
# settings file and the caches never leak between tests or into the developer's home.
set -u
root=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-test.XXXXXX")
mkdir -p "$root/home" "$root/tmp"
export HOME="$root/home" TMPDIR="$root/tmp" XDG_CONFIG_HOME="$root/home/.config"
export XDG_RUNTIME_DIR="$root/tmp/runtime"; mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$@"
rc=$?
if [ -z "${KELVORA_KEEP_TEST_HOME:-}" ]; then rm -rf "$root"; else echo "test home kept: $root" >&2; fi
exit $rc
