#!/usr/bin/env bash
# Builds the Debian package quillmore-jig_<version>_<arch>.deb in the build folder.
#
#   bash scripts/package.sh            # uses (and builds) build/, as scripts/test.sh does
#   QJ_BUILD_DIR=other bash scripts/package.sh
#
# The package is put together with dpkg-deb from what `cmake --install` lays
# out (stripped, prefix /usr), so every file and field is the build's own and
# nothing else decides permissions, ownership or compression; its Depends come
# from dpkg-shlibdeps. The build folder is the one the tests use, with the same
# settings, so after the tests the programs are not compiled a second time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh package
umask 022

build=${QJ_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQJ_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target qjig quillmore-jig

name=quillmore-jig
version=$(sed -n 's/^project(quillmore_jig VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
deb=$root/$build/${name}_${version}_${arch}.deb
work=$root/$build/package
stage=$work/root
rm -rf "$work" "$deb"
mkdir -p "$stage"

DESTDIR=$stage cmake --install "$build" --prefix /usr --strip >/dev/null
# As Debian's own packages are stripped: the compiler's notes go too.
strip --remove-section=.comment --remove-section=.note "$stage/usr/libexec/$name"/*

# Debian's documentation and man pages are compressed, without time stamps.
find "$stage/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +
doc=$stage/usr/share/doc/$name
mkdir -p "$doc"
maintainer=${QJ_MAINTAINER:-Quillmore JIG maintainers <maintainers@users.noreply.c-seed-f2806df0.example>}
# The date of the last commit, so that two builds of one checkout give the same package.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
describe=$(git describe --tags --always --dirty 2>/dev/null || echo "a source tree")
cat >"$doc/copyright" <<EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Quillmore JIG service tool

Files: *
Copyright: 2018-$(date -u -d "@$epoch" +%Y) Quillmore JIG maintainers
License: proprietary
 No licence to copy, change or pass on this program has been granted with it.
EOF
printf '%s (%s) unstable; urgency=medium\n\n  * Built from %s.\n\n -- %s  %s\n' \
  "$name" "$version" "$describe" "$maintainer" "$(LC_ALL=C date -R -u -d "@$epoch")" | gzip -9n >"$doc/changelog.gz"

# Depends: what the programs are linked with, as dpkg-shlibdeps finds it.
mkdir -p "$work/shlibdeps/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$name" "$name" >"$work/shlibdeps/debian/control"
depends=$(cd "$work/shlibdeps" &&
  dpkg-shlibdeps -O $(find "$stage/usr/libexec/$name" -type f -printf '-e%p ') 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')

mkdir -p "$stage/DEBIAN"
cat >"$stage/DEBIAN/control" <<EOF
Package: $name
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Section: electronics
Priority: optional
Description: service tool for the Quillmore USB programming jig
 Reads, writes and verifies the firmware flash of laptop embedded
 controllers (ENE KB90xx, MEC16xx over JTAG, ITE, Nuvoton NPCE over SPI
 and JTAG), reads and writes display EDID EEPROMs and scans keyboard
 matrices through the Quillmore jig, an FTDI-bridged ATmega328 and EPM240
 CPLD. It keeps the jig on the firmware each mode needs.
 .
 The package holds the desktop program quillmore-jig and the command-line
 program qjig, and a udev rule that gives the logged-in user access to the
 jig. The jig's firmware images come with the jig: put them in
 ~/.local/share/quillmore-jig/firmware/ or /usr/share/quillmore-jig/firmware/.
EOF

# The udev rule takes effect for a jig that is already plugged in.
cat >"$stage/DEBIAN/postinst" <<'EOF'
#!/bin/sh
set -e
if [ "$1" = configure ] && command -v udevadm >/dev/null 2>&1; then
    udevadm control --reload-rules || true
    udevadm trigger --action=change --subsystem-match=usb --attr-match=idVendor=0403 || true
    udevadm trigger --action=change --subsystem-match=usb-serial || true
    udevadm trigger --action=change --subsystem-match=tty --property-match=ID_VENDOR_ID=0403 || true
fi
EOF
cat >"$stage/DEBIAN/postrm" <<'EOF'
#!/bin/sh
set -e
if [ "$1" = remove ] && command -v udevadm >/dev/null 2>&1; then
    udevadm control --reload-rules || true
fi
EOF
chmod 0755 "$stage/DEBIAN/postinst" "$stage/DEBIAN/postrm"
(cd "$stage" && find usr -type f | LC_ALL=C sort | xargs -d '\n' md5sum) >"$stage/DEBIAN/md5sums"

dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
