#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root, checks what it puts
# where, and starts the installed programs headless.
set -euo pipefail
build=$1
cpack=$2

cd "$build"
"$cpack" -G DEB >/dev/null
deb=$(ls -t zarnet_*.deb | head -n 1)
root=$(mktemp -d)
home=$(mktemp -d)
trap 'rm -rf "$root" "$home"' EXIT
dpkg-deb -x "$deb" "$root"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in fonts-arphic-uming libqt6serialport6 libqt6widgets6 libmosquitto1 libtomlplusplus3 \
              libqt6serialbus6; do
    grep -q "$needed" <<<"$depends" || { echo "Depends lacks $needed: $depends"; exit 1; }
done
for file in usr/bin/zarnet usr/bin/zarnet-board usr/bin/zarnet-cli \
            usr/share/applications/zarnet.desktop \
            usr/share/icons/hicolor/scalable/apps/zarnet.svg \
            usr/share/icons/hicolor/16x16/apps/zarnet.png \
            usr/share/icons/hicolor/256x256/apps/zarnet.png \
            usr/sbin/zarnetd usr/lib/systemd/system/zarnetd.service \
            etc/zarnet/zarnetd.example.toml usr/lib/sysusers.d/zarnet.conf \
            usr/share/bash-completion/completions/zarnet-cli \
            usr/share/doc/zarnet/copyright usr/share/doc/zarnet/changelog.gz \
            usr/share/man/man1/zarnet.1.gz usr/share/man/man1/zarnet-cli.1.gz \
            usr/share/man/man1/zarnet-board.1.gz usr/share/man/man8/zarnetd.8.gz \
            usr/share/man/man5/zarnetd.toml.5.gz usr/share/doc/zarnet/examples/zarnetd.toml; do
    [ -e "$root/$file" ] || { echo "the package lacks /$file"; exit 1; }
done
grep -q '^Categories=Utility;' "$root/usr/share/applications/zarnet.desktop"
suggests=$(dpkg-deb -f "$deb" Suggests)
grep -q mosquitto <<<"$suggests" || { echo "Suggests lacks mosquitto: $suggests"; exit 1; }
dpkg-deb -I "$deb" postinst | grep -q 'systemd-sysusers' || { echo "no postinst adds the zarnet user"; exit 1; }
dpkg-deb -I "$deb" conffiles | grep -qx '/etc/zarnet/zarnetd.example.toml' ||
    { echo "the example configuration is not a conffile"; exit 1; }
grep -q '^m zarnet dialout' "$root/usr/lib/sysusers.d/zarnet.conf"
# Each manual page carries its program's options and the hand-written part.
zcat "$root/usr/share/man/man1/zarnet-cli.1.gz" | grep -q 'EXIT STATUS'
zcat "$root/usr/share/man/man1/zarnet-cli.1.gz" | grep -q -- '\\-\\-dry\\-run'
zcat "$root/usr/share/man/man8/zarnetd.8.gz" | grep -q -- 'check\\-config'
zcat "$root/usr/share/man/man1/zarnet.1.gz" | grep -q '^\.SH EXAMPLES'
zcat "$root/usr/share/man/man1/zarnet-board.1.gz" | grep -q '^\.SH FILES'
! zcat "$root"/usr/share/man/man[18]/*.gz | grep -q "$build" || { echo "a manual page names the build folder"; exit 1; }
# Every page and file the unit points to is in the package.
docs=$(sed -n 's/^Documentation=//p' "$root/usr/lib/systemd/system/zarnetd.service")
[ -n "$docs" ] || { echo "the unit names no documentation"; exit 1; }
for doc in $docs; do
    case $doc in
    man:*) page=${doc#man:} name=${page%(*} section=${page##*(} section=${section%)}
        path=usr/share/man/man$section/$name.$section.gz ;;
    file://*) path=${doc#file:///} ;;
    *) echo "unexpected Documentation=$doc"; exit 1 ;;
    esac
    [ -e "$root/$path" ] || { echo "Documentation=$doc: the package lacks /$path"; exit 1; }
done
cmp -s "$root/etc/zarnet/zarnetd.example.toml" "$root/usr/share/doc/zarnet/examples/zarnetd.toml" ||
    { echo "the two example configurations differ"; exit 1; }
grep -q '^User=zarnet' "$root/usr/lib/systemd/system/zarnetd.service"
grep -q '^SupplementaryGroups=dialout' "$root/usr/lib/systemd/system/zarnetd.service"
# The example configuration is one the installed service accepts: one sign, which
# neither goes dark by the clock nor has its figures overwritten.
described=$(QT_QPA_PLATFORM=offscreen "$root/usr/sbin/zarnetd" \
    --check-config "$root/etc/zarnet/zarnetd.example.toml")
[ "$(grep -c '^sign ' <<<"$described")" -eq 1 ] && grep -q '^sign line1:' <<<"$described" ||
    { echo "the example does not describe one sign line1: $described"; exit 1; }
! grep -q 'stale\|on at' <<<"$described" || { echo "the example has a guard on: $described"; exit 1; }
# Its commented guards are sound once switched on.
sed -e 's/^# max_age = /max_age = /' -e 's/^# stale = /stale = /' -e 's/^# power = /power = /' \
    "$root/etc/zarnet/zarnetd.example.toml" >"$home/guards.toml"
QT_QPA_PLATFORM=offscreen "$root/usr/sbin/zarnetd" --check-config "$home/guards.toml" |
    grep -q '^sign line1:.*stale after 600 s.*on at 06:00 and off at 22:00' ||
    { echo "the example's guards are not accepted"; exit 1; }
# So is it with its Modbus lines switched on (only the listen line under [modbus]).
sed -e 's/^# \[modbus\]/[modbus]/' -e '/^\[modbus\]/,/^# listen = /s/^# listen = /listen = /' \
    -e 's/^# modbus_unit = /modbus_unit = /' \
    "$root/etc/zarnet/zarnetd.example.toml" >"$home/modbus.toml"
QT_QPA_PLATFORM=offscreen "$root/usr/sbin/zarnetd" --check-config "$home/modbus.toml" |
    grep -q '^Modbus TCP on 127.0.0.1:1502'

# The installed window loads, then quits cleanly when asked to.
TMPDIR=$home QT_QPA_PLATFORM=offscreen "$root/usr/bin/zarnet" &
pid=$!
sleep 2
kill -0 "$pid" || { echo "zarnet did not keep running"; exit 1; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "zarnet ended with status $status"; exit 1; }

frame=$("$root/usr/bin/zarnet-cli" --dry-run power on 2>/dev/null)
[ "$frame" = "02 00 09 FF EE 12 01 0B 03" ] || { echo "zarnet-cli printed: $frame"; exit 1; }
"$root/usr/bin/zarnet-board" --help >/dev/null
"$root/usr/sbin/zarnetd" --help >/dev/null
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/zarnet" --help | grep -q '^Usage: zarnet'
[ "$("$root/usr/bin/zarnet" --version)" = "zarnet $(dpkg-deb -f "$deb" Version)" ]
echo "package $deb: contents, window start and quit, command line, service all good"
