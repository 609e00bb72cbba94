#!/usr/bin/env bash
# Installs the previous build and then this one into a scratch root with dpkg
# (maintainer scripts run outside a chroot with DPKG_ROOT set), then purges it:
# an administrator's changes survive the upgrade, and nothing is left behind.
set -euo pipefail
build=$1
cpack=$2
cd "$build"
"$cpack" -G DEB >/dev/null
deb=$(readlink -f "$(ls -t zarnet_*.deb | head -n 1)")
root=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$root" "$work"' EXIT

# A system as far as the package is concerned: dpkg's database, the accounts,
# and the folders systemd's helpers keep their links and state in.
mkdir -p "$root"/var/lib/dpkg/{info,updates,triggers} "$root"/etc/systemd/system \
    "$root"/var/lib/systemd "$root"/var/cache "$root"/usr/bin
touch "$root"/var/lib/dpkg/status
for f in passwd group shadow gshadow; do
    [ -e /etc/$f ] && cp -p /etc/$f "$root/etc/$f"
done
(cd "$root" && find . | sort) >"$work/before"

# The previous build: the same files under an older version.
dpkg-deb -R "$deb" "$work/previous"
version=$(dpkg-deb -f "$deb" Version)
sed -i "s/^Version: .*/Version: 1.0.0/" "$work/previous/DEBIAN/control"
dpkg-deb -b --root-owner-group "$work/previous" "$work/previous.deb" >/dev/null

dpkg_root() {
    DPKG_ROOT="$root" dpkg --root="$root" --force-script-chrootless --force-depends \
        --force-confold --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 ||
        { cat "$work/dpkg.log"; exit 1; }
}

dpkg_root -i "$work/previous.deb"
grep -q '^zarnet:' "$root/etc/passwd" || { echo "no zarnet user"; exit 1; }
grep -q '^dialout:.*zarnet' "$root/etc/group" || { echo "zarnet is not in dialout"; exit 1; }
[ -L "$root/etc/systemd/system/multi-user.target.wants/zarnetd.service" ] ||
    { echo "zarnetd.service is not enabled"; exit 1; }

# The administrator edits the example and writes the configuration.
echo '# kept' >>"$root/etc/zarnet/zarnetd.example.toml"
printf '[[sign]]\nname = "l1"\nlink = "1"\n' >"$root/etc/zarnet/zarnetd.toml"
cp "$root/etc/zarnet/zarnetd.toml" "$work/config"

dpkg_root -i "$deb"
[ "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f '${Version}' zarnet)" = "$version" ]
tail -n 1 "$root/etc/zarnet/zarnetd.example.toml" | grep -qx '# kept' ||
    { echo "the upgrade overwrote the edited example"; exit 1; }
cmp -s "$root/etc/zarnet/zarnetd.toml" "$work/config" || { echo "the upgrade changed the configuration"; exit 1; }
[ -z "$(find "$root" -name '*.dpkg-*')" ] || { echo "dpkg left copies behind"; exit 1; }
[ -L "$root/etc/systemd/system/multi-user.target.wants/zarnetd.service" ] ||
    { echo "zarnetd.service is no longer enabled"; exit 1; }
dpkg-query --admindir="$root/var/lib/dpkg" -L zarnet | while read -r path; do
    [ -e "$root$path" ] || { echo "missing after the upgrade: $path"; exit 1; }
done

# What the service and its administrator leave: the cache systemd makes for the
# unit's CacheDirectory=, and the broker's password.
cache=$(sed -n 's/^CacheDirectory=//p' "$root/usr/lib/systemd/system/zarnetd.service")
[ -n "$cache" ] || { echo "the unit has no CacheDirectory="; exit 1; }
mkdir -p "$root/var/cache/$cache/fontconfig"
touch "$root/var/cache/$cache/fontconfig/cache-7" "$root/etc/zarnet/broker.secret"

dpkg_root -P zarnet
# The accounts keep the zarnet user (files elsewhere may still be its), with their
# lock; dpkg's own
# records change. Everything else is as before.
(cd "$root" && find . | sort) >"$work/after"
left=$(comm -13 "$work/before" "$work/after" |
    grep -v -e '^\./var/lib/dpkg/' -e '^\./etc/\(passwd\|group\|shadow\|gshadow\)-\?$' -e '^\./etc/\.pwd\.lock$' || true)
[ -z "$left" ] || { echo "left behind after purge:"; echo "$left"; exit 1; }
echo "upgrade from 1.0.0 to $version keeps the administrator's files; purge leaves nothing"
