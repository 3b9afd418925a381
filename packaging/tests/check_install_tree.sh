#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR under the default prefix, as `make install` does,
# and checks the tree the way a user and the desktop meet it: every file in its place, the menu
# entry valid, the manual page rendering cleanly, the installed binary running from there.
# usage: check_install_tree.sh BUILD_DIR [CMAKE]
set -euo pipefail

build=$1
cmake=${2:-cmake}
for tool in desktop-file-validate man lexgrog file; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done

dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$cmake" --install "$build" --prefix /usr/local >/dev/null
root=$dest/usr/local
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The tree: path, then what `file` must say about it.
while read -r path kind; do
    if [ ! -f "$root/$path" ]; then
        fail "$path is not installed"
    elif ! file -b "$root/$path" | grep -q -- "$kind"; then
        fail "$path is not $kind: $(file -b "$root/$path")"
    fi
done <<'TREE'
bin/halvern                                     ELF
share/applications/halvern.desktop              text
share/icons/hicolor/scalable/apps/halvern.svg   SVG Scalable Vector Graphics image
share/icons/hicolor/64x64/apps/halvern.png      PNG image data, 64 x 64
share/icons/hicolor/256x256/apps/halvern.png    PNG image data, 256 x 256
lib/udev/rules.d/70-halvern.rules               text
share/man/man1/halvern.1.gz                     gzip compressed data
share/doc/halvern/README.md                     text
share/doc/halvern/LICENSE                       text
share/doc/halvern/copyright                     text
TREE
[ -x "$root/bin/halvern" ] || fail "bin/halvern is not executable"
extra=$(cd "$dest" && find . -type f | grep -v '^./usr/local/' || true)
[ -z "$extra" ] || fail "files outside the prefix: $extra"

# The menu entry: valid, and naming the installed binary and icon.
entry=$root/share/applications/halvern.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
for line in 'Exec=halvern' 'Icon=halvern' 'GenericName=Multimeter interface' \
            'Categories=Utility;Electronics;'; do
    grep -qx -- "$line" "$entry" || fail "the menu entry lacks '$line'"
done
grep -q '^Keywords=.\+;$' "$entry" || fail "the menu entry has no keywords"

# The device rules are the repository's, and tag both devices for the seat's user.
rules=$root/lib/udev/rules.d/70-halvern.rules
[ "$(grep -c 'TAG+="uaccess"' "$rules")" -ge 2 ] || fail "the device rules do not tag both devices"

# The manual page renders without a warning of any kind (groff -ww), names the program for apropos and covers every
# subcommand, option and section a reader looks for.
page=$root/share/man/man1/halvern.1.gz
if ! warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >"$dest/page.txt"); then
    fail "man cannot render the page"
fi
[ -z "$warnings" ] || fail "man warns: $warnings"
lexgrog "$page" | grep -q 'halvern - ' || fail "the page's NAME line is not found by lexgrog"
for word in SYNOPSIS DESCRIPTION OPTIONS COMMANDS FILES 'DEVICE PERMISSIONS' 'EXIT STATUS' \
            decode convert report simulate log 'hid list' --port --demo --connect \
            --sysfs-root --dev-root --usb-bridge --hid --capture --link uaccess \
            70-halvern.rules dialout; do
    grep -q -- "$word" "$dest/page.txt" || fail "the manual page does not mention $word"
done

# The installed binary runs from the tree, without a display.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/halvern" --help) || fail "halvern --help failed"
grep -q '^usage: halvern' <<<"$out" || fail "halvern --help printed no usage: $out"
frame=$(printf '\x0a\x30\x30\x30\x31\x32\x33\x34\x30\x30\x31\x30\x0d\x0a' |
        "$root/bin/halvern" decode --trace --decimal-separator . | cut -f1-4)
[ "$frame" = $'A00012340010D\tDCV\t1.234\tV' ] || fail "the installed binary decodes '$frame'"

[ "$failures" -eq 0 ] || exit 1
echo "installed tree is complete"
