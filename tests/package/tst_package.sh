#!/usr/bin/env bash
# Builds the Debian package with scripts/package, checks what it holds and depends on,
# validates the menu entry and the AppStream data, unpacks it into a scratch root (dpkg -x)
# and starts the program from there, offscreen, until its login dialog is up.
#   tst_package.sh <source dir> <work dir> [package]   (a package given is checked, not built)
set -uo pipefail
src=$1 work=$2 deb=${3:-}
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
rm -rf "$work"
mkdir -p "$work"

t0=$(date +%s)
if [ -z "$deb" ] && ! deb=$(KELVORA_PACKAGE_BUILD_DIR="$work/build" bash "$src/scripts/package" 2>"$work/package.log"); then
    tail -n 40 "$work/package.log" >&2
    echo "FAIL: scripts/package" >&2
    exit 1
fi
t1=$(date +%s)
echo "package: $deb (built in $((t1 - t0)) s)"

# What the package holds: the application directory, the command, the desktop files; nothing
# of the lab, the tests or the build's tools; every file owned by root.
dpkg-deb -c "$deb" >"$work/contents.txt" || fail "dpkg-deb -c"
awk '{ print $6 ($7 == "->" ? " -> " $8 : "") }' "$work/contents.txt" >"$work/paths.txt"
expected=(
    ./opt/kelvora/kelvora
    ./opt/kelvora/libqmuserhelper.so
    ./opt/kelvora/libQMUserS.so
    "./usr/bin/kelvora -> ../../opt/kelvora/kelvora"
    ./usr/share/applications/kelvora.desktop
    ./usr/share/metainfo/net.vantor.kelvora.metainfo.xml
    ./usr/share/icons/hicolor/scalable/apps/kelvora.svg
)
for size in 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/kelvora.png")
done
# aria2's template and its web interface, once the tree has them.
[ ! -f "$src/web/aria2.conf" ] || expected+=(./opt/kelvora/aria2.conf)
[ ! -f "$src/web/webui/index.html" ] || expected+=(./opt/kelvora/webui/index.html)
for path in "${expected[@]}"; do
    grep -qxF -- "$path" "$work/paths.txt" || fail "the package lacks $path"
done
while read -r path; do
    case "$path" in
    */) ;; # directories
    ./opt/kelvora/* | ./usr/bin/kelvora\ * | ./usr/share/applications/* | ./usr/share/icons/hicolor/* | \
        ./usr/share/metainfo/*) ;;
    *) fail "unexpected file in the package: $path" ;;
    esac
    case "$path" in
    *tovrik-lab* | *tst_* | *transferdriver* | *svgrender* | *.a | *fuzz*) fail "the package holds $path" ;;
    esac
done <"$work/paths.txt"
awk '$2 != "root/root" { print "FAIL: not owned by root: " $6; bad = 1 } END { exit bad }' \
    "$work/contents.txt" >&2 || failures=$((failures + 1))

# Dependencies: the Qt libraries from the ELF files, the rest by hand.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in libc6 libqt5core5a libqt5widgets5 libqt5network5 libqt5sql5 libqt5webenginewidgets5 \
    libqt5sql5-sqlite aria2 fonts-wqy-microhei qttranslations5-l10n; do
    printf '%s\n' "$depends" | tr ',' '\n' | awk '{ print $1 }' | grep -qxF "$dep" ||
        fail "Depends lacks $dep"
done

root="$work/root"
dpkg -x "$deb" "$root" || fail "dpkg -x"
share="$root/usr/share"
# Clean: a hint (such as a category without its main one) counts as a failure too.
hints=$(desktop-file-validate "$share/applications/kelvora.desktop" 2>&1) && [ -z "$hints" ] ||
    fail "desktop-file-validate: $hints"
appstreamcli validate --no-net --strict "$share/metainfo/net.vantor.kelvora.metainfo.xml" ||
    fail "appstreamcli validate"
# The entry's command and icon, and the metadata's launchable, exist in the package.
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$share/applications/kelvora.desktop")
icon=$(sed -n 's/^Icon=//p' "$share/applications/kelvora.desktop")
[ -x "$root/usr/bin/$exec_cmd" ] || fail "the menu entry's command '$exec_cmd' is not in /usr/bin"
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon '$icon'"
grep -q '<launchable type="desktop-id">kelvora.desktop</launchable>' \
    "$share/metainfo/net.vantor.kelvora.metainfo.xml" || fail "the metadata names another menu entry"
# Each icon has its theme size and is a drawing, not an empty square.
for size in 48 64 128 256; do
    png="$share/icons/hicolor/${size}x${size}/apps/$icon.png"
    got=$(identify -format '%w %h %[fx:standard_deviation>0.05]' "$png" 2>/dev/null)
    [ "$got" = "$size $size 1" ] || fail "icon $png: '$got', expected '$size $size 1'"
done

# The program finds its libraries beside its real path, inside the scratch root.
app="$root/opt/kelvora"
for elf in "$app/kelvora" "$app/libqmuserhelper.so" "$app/libQMUserS.so"; do
    ! ldd "$elf" | grep 'not found' || fail "$elf: unresolved libraries"
done
ldd "$app/kelvora" | grep -qF "$app/libqmuserhelper.so" || fail "kelvora does not load the packaged libqmuserhelper.so"

# Started through the command link, offscreen, the program must come up with its login dialog
# visible. Offscreen there is no window system to ask, so Qt's accessibility cache reports the
# widgets as they are shown (a visible one carries no "invisible" state).
log="$work/run.log"
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.accessibility.cache.debug=true" \
    KELVORA_ACCOUNT_SERVICE=http://127.0.0.1:9 KELVORA_DEVICE_MANAGER=http://127.0.0.1:9 \
    KELVORA_CLOUD_SITE=http://127.0.0.1:9/ "$root/usr/bin/kelvora" >"$log" 2>&1 &
pid=$!
up=""
for _ in $(seq 1 600); do
    kill -0 "$pid" 2>/dev/null || break
    if grep 'role=Dialog' "$log" | grep 'obj=LoginDialog' | grep -v 'invisible' | grep -q '330x364)'; then
        up=yes
        break
    fi
    sleep 0.1
done
t2=$(date +%s)
if [ -n "$up" ]; then
    echo "login dialog up after $((t2 - t1)) s"
    # The account component it loaded is the packaged one.
    grep -qF "$app/libQMUserS.so" "/proc/$pid/maps" || fail "the running program has not loaded $app/libQMUserS.so"
    [ "$(readlink "/proc/$pid/exe")" = "$app/kelvora" ] || fail "the running program is not $app/kelvora"
    kill -TERM "$pid"
    wait "$pid"
    rc=$?
    [ "$rc" -eq 0 ] || fail "the program ended with $rc after TERM"
else
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    grep -v '^qt.accessibility' "$log" | tail -n 30 >&2
    fail "the installed program did not show its login dialog"
fi

echo "package test: $failures failure(s), $(($(date +%s) - t0)) s in all"
[ "$failures" -eq 0 ]
