#!/usr/bin/env bash
# The Debian package: builds it with scripts/package.sh, checks what it holds,
# unpacks it into a scratch folder and runs the programs from there, as they
# find their files through the installed layout; lintian when it is there.
set -euo pipefail
cd "$(dirname "$0")/../.."
source_dir=$PWD
started=$SECONDS
deb=$(bash scripts/package.sh | tail -n 1)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

dpkg-deb -c "$deb" | awk '{ print $6 }' >"$tmp/files"
for f in usr/libexec/quillmore-jig/qjig usr/libexec/quillmore-jig/quillmore-jig usr/bin/qjig usr/bin/quillmore-jig \
  usr/lib/udev/rules.d/60-quillmore-jig.rules usr/share/applications/quillmore-jig.desktop \
  usr/share/icons/hicolor/scalable/apps/quillmore-jig.svg usr/share/metainfo/com.quillmore.jig.metainfo.xml \
  usr/share/man/man1/qjig.1.gz usr/share/man/man1/quillmore-jig.1.gz usr/share/bash-completion/completions/qjig \
  usr/share/doc/quillmore-jig/copyright usr/share/doc/quillmore-jig/changelog.gz; do
  grep -qx "./$f" "$tmp/files" || fail "$f is not in the package"
done
# The stand-in images are for the virtual jig only; a real jig gets the images that came with it.
if grep -E '\.(hex|qjf)$' "$tmp/files"; then fail "firmware images in the package"; fi
dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>= ' || fail "Depends does not come from dpkg-shlibdeps"
dpkg-deb -I "$deb" postinst | grep -q 'udevadm control --reload-rules' || fail "postinst does not reload the udev rules"
dpkg-deb -I "$deb" postinst | grep -q 'udevadm trigger .*idVendor=0403' || fail "postinst does not trigger the FTDI devices"

dpkg-deb -x "$deb" "$tmp/root"
bin=$tmp/root/usr/bin
version=$(dpkg-deb -f "$deb" Version)
export HOME=$tmp/home XDG_DATA_HOME=$tmp/data QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$tmp/work"
cd "$tmp/work"
"$bin/qjig" --version | grep -q "^qjig $version" || fail "qjig --version: $("$bin/qjig" --version)"
"$bin/quillmore-jig" --version | grep -q "^quillmore-jig $version" || fail "quillmore-jig --version"
[ "$("$bin/qjig" --sim demo identify)" = ENE_EDID_KB ] || fail "qjig --sim demo identify"
# Through the link in bin/ the program finds its own folder, and from it the
# installation's firmware folder: an image put there serves a Start.
firmware=$tmp/root/usr/share/quillmore-jig/firmware
mkdir -p "$firmware"
cp "$source_dir/firmware/ITE2_PROJ_Q37.hex" "$firmware/"
status=0
images=$("$bin/qjig" images) || status=$?
[ "$status" = 1 ] || fail "qjig images with images missing exits $status, not 1"
grep -q "found: $firmware/ITE2_PROJ_Q37.hex" <<<"$images" || fail "qjig images does not find $firmware: $images"
grep -q "missing (looked in $tmp/root/usr/libexec/quillmore-jig/, $XDG_DATA_HOME/quillmore-jig/firmware/, $firmware/)" \
  <<<"$images" || fail "qjig images does not say where it looked: $images"
"$bin/qjig" --sim jig=ENE_EDID_KB,mode=instant start ITE | grep -q -- '-> TITE_FORM' || fail "start ITE from the package"

for page in qjig quillmore-jig; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$tmp/root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
appstreamcli validate --no-net "$tmp/root/usr/share/metainfo/com.quillmore.jig.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate"
if command -v lintian >/dev/null; then
  # Errors fail the check; what else it says is shown.
  said=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports errors"
  grep -v 'running with root privileges' <<<"$said" || true
fi
echo "package: $(basename "$deb"), checked in $((SECONDS - started)) s"
exit $((failures > 0))
