#!/usr/bin/env bash
# Builds the Debian package from the build, as `make package` does, into a scratch folder and
# checks it without installing: the control fields, the maintainer scripts and the files.
# With CI=true and run as root it also installs and removes it with dpkg.
# usage: check_deb.sh BUILD_DIR [CPACK]
set -euo pipefail

build=$1
cpack=${2:-cpack}
for tool in "$cpack" dpkg-deb dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
debs=("$work"/out/halvern_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no single halvern_*.deb: ${debs[*]}"; exit 1; }
deb=${debs[0]}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = halvern ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[[ "$(field Version)" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "Version is '$(field Version)'"
[[ "$(basename "$deb")" == "halvern_$(field Version)_$(field Architecture).deb" ]] ||
    fail "the file is named $(basename "$deb")"
[[ "$(field Maintainer)" =~ ^.+\ \<[^@\ ]+@[^@\ ]+\>$ ]] || fail "Maintainer is '$(field Maintainer)'"
[ "$(field Section)" = electronics ] || fail "Section is '$(field Section)'"
description=$(field Description)
summary=$(head -1 <<<"$description")
[ -n "$summary" ] && [ ${#summary} -le 80 ] || fail "the short description is '$summary'"
[ "$(wc -l <<<"$description")" -ge 4 ] || fail "the long description is missing: $description"
tail -n +2 <<<"$description" | grep -q '^ \.$' || fail "the long description has no paragraph break"
if awk 'length > 80' <<<"$description" | grep -q .; then
    fail "description lines longer than 80 columns: $(awk 'length > 80' <<<"$description")"
fi

# Depends: the Qt libraries the binary links (from dpkg-shlibdeps, so with versions), the
# platform plugin Qt loads at run time, and the fonts the window maps its font names to.
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libqt6svg6; do
    grep -Fq ", $lib (>= " <<<", $depends" || fail "Depends lacks a versioned $lib: $depends"
done
for pkg in qt6-qpa-plugins 'fonts-liberation2 | fonts-liberation' fonts-dejavu-core; do
    grep -Fq "$pkg" <<<"$depends" || fail "Depends lacks $pkg: $depends"
done

# The maintainer scripts: executable, and the udev reload guarded so a system without udev
# (a container, a chroot) installs the package all the same.
dpkg-deb -e "$deb" "$work/control"
for script in postinst postrm; do
    s=$work/control/$script
    [ -x "$s" ] || { fail "$script is missing or not executable"; continue; }
    sh -n "$s" || fail "$script is not valid sh"
    grep -q 'command -v udevadm' "$s" || fail "$script does not look for udevadm"
done
# Run the postinst against a stand-in udevadm, then with none on the PATH.
mkdir -p "$work/fakebin"
printf '#!/bin/sh\necho "$*" >>"%s/udevadm.calls"\n' "$work" >"$work/fakebin/udevadm"
chmod +x "$work/fakebin/udevadm"
PATH=$work/fakebin:/usr/bin:/bin sh "$work/control/postinst" configure || fail "postinst failed"
grep -q '^control --reload-rules' "$work/udevadm.calls" 2>/dev/null || fail "postinst does not reload the rules"
grep -q '^trigger .*hidraw' "$work/udevadm.calls" 2>/dev/null || fail "postinst does not trigger the HID nodes"
mkdir -p "$work/emptybin"
ln -s "$(command -v sh)" "$work/emptybin/sh"
PATH=$work/emptybin "$work/emptybin/sh" "$work/control/postinst" configure ||
    fail "postinst fails without udevadm"

# The files: all under /usr, owned by root, the binary stripped, and the tree complete.
listing=$(dpkg-deb -c "$deb")
if awk '{print $2}' <<<"$listing" | grep -qv '^root/root$'; then
    fail "files not owned by root/root"
fi
if awk '{print $6}' <<<"$listing" | grep -Ev '^\./(usr/)?$' | grep -qv '^\./usr/'; then
    fail "files outside /usr: $(awk '{print $6}' <<<"$listing" | grep -v '^\./usr/')"
fi
dpkg-deb -x "$deb" "$work/root"
while read -r path kind; do
    if [ ! -f "$work/root/$path" ]; then
        fail "/$path is not in the package"
    elif ! file -b "$work/root/$path" | grep -q -- "$kind"; then
        fail "/$path is not $kind: $(file -b "$work/root/$path")"
    fi
done <<'TREE'
usr/bin/halvern                                     stripped
usr/share/applications/halvern.desktop              text
usr/share/icons/hicolor/scalable/apps/halvern.svg   SVG Scalable Vector Graphics image
usr/share/icons/hicolor/64x64/apps/halvern.png      PNG image data, 64 x 64
usr/share/icons/hicolor/256x256/apps/halvern.png    PNG image data, 256 x 256
usr/lib/udev/rules.d/70-halvern.rules               text
usr/share/man/man1/halvern.1.gz                     gzip compressed data
usr/share/doc/halvern/copyright                     text
usr/share/doc/halvern/LICENSE                       text
usr/share/doc/halvern/README.md                     text
usr/lib/systemd/system/halvern-log@.service         text
usr/libexec/halvern/halvern-log-service             shell script
usr/share/doc/halvern/examples/halvern-log.conf     text
TREE
# The device rules: valid udev syntax (the checker must also refuse a broken rule), the HID
# cable's wake-up for both of its chips, and ModemManager kept off the USB bridge.
rules=$work/root/usr/lib/udev/rules.d/70-halvern.rules
here=$(dirname "$0")
bash "$here/check_udev_rules.sh" "$rules" || fail "the device rules do not parse"
printf 'SUBSYSTEM=="tty" TAG+="uaccess"\n' >"$work/broken.rules"
bash "$here/check_udev_rules.sh" "$work/broken.rules" >/dev/null && fail "the rules check passes a broken rule"
for id in 'idVendor}=="1a86", ATTR{idProduct}=="e008"' 'idVendor}=="04fa", ATTR{idProduct}=="2490"'; do
    grep -F "$id" "$rules" | grep -F 'ATTR{power/control}="auto"' |
        grep -Fq 'ATTR{power/autosuspend_delay_ms}="0"' || fail "no wake-up rule for $id"
done
grep -F 'idVendor}=="10c4"' "$rules" | grep -Fq 'ENV{ID_MM_DEVICE_IGNORE}="1"' ||
    fail "the USB bridge is not hidden from ModemManager"

# The unattended logger's service: systemd finds nothing to object to in the unit (warnings
# count too), with its ExecStart pointed at the packaged script; it is not enabled by the
# package; and the script turns an instance's settings into the right halvern log command.
unit=$work/root/usr/lib/systemd/system/halvern-log@.service
service=$work/root/usr/libexec/halvern/halvern-log-service
[ -x "$service" ] || fail "the service script is not executable"
if command -v systemd-analyze >/dev/null; then
    mkdir -p "$work/units"
    sed "s#^ExecStart=/usr/libexec/halvern/#ExecStart=$work/root/usr/libexec/halvern/#" "$unit" \
        >"$work/units/halvern-log@check.service"
    grep -q "^ExecStart=$work/root/" "$work/units/halvern-log@check.service" ||
        fail "the unit does not start /usr/libexec/halvern/halvern-log-service"
    if ! verify=$(systemd-analyze verify --man=no "$work/units/halvern-log@check.service" 2>&1) ||
        [ -n "$verify" ]; then
        fail "systemd-analyze verify: $verify"
    fi
    printf '[Service]\nExecStartt=/bin/true\n' >"$work/units/broken@check.service"
    verify=$(systemd-analyze verify --man=no "$work/units/broken@check.service" 2>&1) || true
    [ -n "$verify" ] || fail "the unit check passes a unit with a mistyped key"
else
    fail "systemd-analyze is missing (scripts/install-deps.sh installs systemd)"
fi
for key in 'DynamicUser=yes' 'SupplementaryGroups=dialout plugdev' 'Restart=on-failure' \
    'EnvironmentFile=/etc/halvern/%i.conf' 'StateDirectory=halvern/%i'; do
    grep -qxF "$key" "$unit" || fail "the unit lacks $key"
done
if dpkg-deb -c "$deb" | grep -q 'wants/'; then
    fail "the package enables a unit"
fi
printf '#!/bin/sh\nfor a in "$@"; do printf "[%%s]" "$a"; done; echo\n' >"$work/fakebin/halvern"
chmod +x "$work/fakebin/halvern"
mkdir -p "$work/state"
service_run() { env -i PATH=/usr/bin:/bin HALVERN="$work/fakebin/halvern" STATE_DIRECTORY="$work/state" "$@" sh "$service" bench; }
got=$(service_run LINK='--port /dev/ttyUSB0' MQTT=mqtt://localhost OPTIONS='--meter-id bench --mqtt-qos 1')
[[ "$got" =~ ^\[log\]\[--port\]\[/dev/ttyUSB0\]\[--save\]\[$work/state/bench-[0-9]{8}T[0-9]{6}Z\.csv\]\[--mqtt\]\[mqtt://localhost\]\[--meter-id\]\[bench\]\[--mqtt-qos\]\[1\]$ ]] ||
    fail "the service script runs: $got"
got=$(service_run LINK=--hid FORMAT=jsonl)
[[ "$got" =~ ^\[log\]\[--hid\]\[--save\]\[$work/state/bench-[0-9T]+Z\.jsonl\]$ ]] ||
    fail "the service script runs: $got"
for bad in 'FORMAT=xml LINK=--hid' 'LINK=' "LINK=--hid SAVE=$work/nowhere"; do
    # shellcheck disable=SC2086
    if msg=$(service_run $bad 2>&1); then
        fail "the service script accepts $bad: $msg"
    elif ! grep -q '/etc/halvern/bench.conf' <<<"$msg"; then
        fail "the service script does not say which settings are wrong: $msg"
    fi
done

if file -b "$work/root/usr/bin/halvern" | grep -q 'not stripped'; then
    fail "the packaged binary is not stripped"
fi
"$work/root/usr/bin/halvern" --help | grep -q '^usage: halvern' || fail "the packaged binary does not run"

# On a throw-away CI machine, as root: install and remove it for real.
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
    if dpkg-query -W -f='${Status}' halvern 2>/dev/null | grep -q 'ok installed'; then
        echo "halvern is installed on this machine already; leaving it alone"
    else
        dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
        [ "$(dpkg-query -W -f='${Status}' halvern)" = "install ok installed" ] ||
            fail "the package is not installed after dpkg -i"
        /usr/bin/halvern --help >/dev/null || fail "the installed program does not run"
        dpkg -r halvern >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r failed"; }
        [ ! -e /usr/bin/halvern ] || fail "/usr/bin/halvern is left after dpkg -r"
        [ ! -e /usr/lib/udev/rules.d/70-halvern.rules ] || fail "the device rules are left after dpkg -r"
        [ ! -e /usr/lib/systemd/system/halvern-log@.service ] || fail "the service unit is left after dpkg -r"
        dpkg --purge halvern >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge failed"; }
        if dpkg-query -W -f='${Status}' halvern 2>/dev/null | grep -qv 'not-installed'; then
            fail "dpkg still knows halvern after --purge: $(dpkg-query -W -f='${Status}' halvern)"
        fi
    fi
fi

[ "$failures" -eq 0 ] || exit 1
echo "$(basename "$deb") is complete"
