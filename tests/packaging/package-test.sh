#!/bin/sh
# package-test.sh CPACK BUILD_DIR SCRATCH_DIR
# Packs the build with cpack, checks the package's contents and control data, installs it
# into a scratch root with dpkg (a private admin folder, maintainer scripts run outside a
# chroot with DPKG_ROOT set) twice, runs the installed commands, then removes it again.
set -eu

cpack=$1
build=$2
scratch=$3

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for tool in "$cpack" dpkg-deb dpkg dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is missing (install cmake, dpkg and dpkg-dev)" >&2
    exit 77
  fi
done

rm -rf "$scratch"
mkdir -p "$scratch/out"

started=$(date +%s)
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
echo "cpack took $(($(date +%s) - started)) s"

set -- "$scratch"/out/tarnwell_*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  fail "expected one tarnwell_*.deb in $scratch/out, found: $*"
fi
deb=$1
echo "package: $(basename "$deb"), $(wc -c <"$deb") bytes"

# Control data: name, dependencies worked out by dpkg-shlibdeps, maintainer scripts.
[ "$(dpkg-deb -f "$deb" Package)" = tarnwell ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6widgets6 libqt6network6 libplist3 libudev1 libsgutils2; do
  case "$depends" in
    *"$library"*) ;;
    *) fail "Depends lacks $library: $depends" ;;
  esac
done
dpkg-deb -e "$deb" "$scratch/control"
for script in postinst postrm; do
  [ -x "$scratch/control/$script" ] || fail "no executable $script"
done

# With a udev daemon, the scripts reload the rules and replay the events of the maker's
# recorders only (vendor f7a1, f7a2); installing into another root touches nothing. Run in
# a private mount namespace over a made-up /run and /sys, so root only.
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
  mkdir -p "$scratch/fakebin"
  # shellcheck disable=SC2016 # expanded by the fake udevadm
  printf '#!/bin/sh\necho "udevadm $*" >>"$UDEVADM_LOG"\nexit 1\n' >"$scratch/fakebin/udevadm"
  chmod +x "$scratch/fakebin/udevadm"
  # shellcheck disable=SC2016 # expanded by the inner shell
  PATH="$scratch/fakebin:$PATH" UDEVADM_LOG="$scratch/udevadm.log" unshare -m sh -eu -c '
    mount -t tmpfs none /run && mkdir /run/udev
    mount -t tmpfs none /sys && mkdir -p /sys/bus/usb/devices
    for device in 1-1:f7a1 1-2:046d 2-3:f7a2 usb1:1d6b; do
      mkdir "/sys/bus/usb/devices/${device%%:*}"
      echo "${device#*:}" >"/sys/bus/usb/devices/${device%%:*}/idVendor"
    done
    mkdir /sys/bus/usb/devices/1-1:1.0
    sh "$1/postinst" configure
    DPKG_ROOT=/elsewhere sh "$1/postinst" configure
    sh "$1/postrm" upgrade
    sh "$1/postrm" remove' sh "$scratch/control" || fail "the maintainer scripts failed"
  expected='udevadm control --reload-rules
udevadm trigger --action=change --parent-match=/sys/bus/usb/devices/1-1
udevadm trigger --action=change --parent-match=/sys/bus/usb/devices/2-3'
  [ "$(cat "$scratch/udevadm.log")" = "$expected
$expected" ] || fail "the maintainer scripts ran: $(cat "$scratch/udevadm.log")"
else
  echo "not root: the maintainer scripts' udev calls are not checked"
fi

# Install into a scratch root, twice (a reinstall runs the scripts again).
root=$scratch/root
admin=$root/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
: >"$admin/status"
install_package() {
  dpkg --root="$root" --admindir="$admin" --log=/dev/null --force-not-root \
    --force-script-chrootless --force-depends "$@" >>"$scratch/dpkg.log" 2>&1 ||
    { cat "$scratch/dpkg.log" >&2; fail "dpkg $*"; }
}
install_package --install "$deb"
install_package --install "$deb"

# Installed files that nothing below runs (the commands read their bundle's Info.plist and
# string table); each goes again with the package.
files="usr/bin/tarnwell-tool usr/lib/udev/rules.d/70-korvane-dss.rules
  usr/share/applications/tarnwell.desktop usr/share/metainfo/com.velmora.tarnwell.metainfo.xml
  usr/share/icons/hicolor/256x256/apps/tarnwell.png
  usr/share/icons/hicolor/scalable/apps/tarnwell.svg"
for path in $files; do
  [ -e "$root/$path" ] || fail "$path is not installed"
done
[ -z "$(find "$root" -name 'tarnwell-screenshots*')" ] || fail "the screenshot program is installed"

# The installed commands find their bundle through the links on the PATH.
out=$("$root/usr/bin/tarnwell-tool" --help) || fail "tarnwell-tool --help exited with $?"
case "$out" in
  "usage: tarnwell-tool COMMAND"*) ;;
  *) fail "tarnwell-tool --help printed: $out" ;;
esac
out=$(LANGUAGE=de "$root/usr/bin/tarnwell-tool" strings ID_CANCEL) || fail "strings failed"
[ "$out" = "ID_CANCEL=Abbrechen" ] || fail "strings printed: $out"
status=0
"$root/usr/bin/tarnwell" --text --no-such-option 2>"$scratch/tarnwell.err" || status=$?
if [ "$status" -ne 2 ] || ! grep -q 'usage: tarnwell --text' "$scratch/tarnwell.err"; then
  fail "tarnwell --text with a bad argument: status $status, $(cat "$scratch/tarnwell.err")"
fi

for page in tarnwell tarnwell-tool; do
  gzip -t "$root/usr/share/man/man1/$page.1.gz" || fail "$page.1.gz is not gzip"
done
if command -v appstreamcli >/dev/null 2>&1; then
  appstreamcli validate --no-net \
    "$root/usr/share/metainfo/com.velmora.tarnwell.metainfo.xml" >/dev/null ||
    fail "the metainfo does not validate"
fi
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$root/usr/share/applications/tarnwell.desktop" ||
    fail "the desktop entry does not validate"
fi

# Removal takes every file away again.
install_package --remove tarnwell
for path in $files; do
  if [ -e "$root/$path" ] || [ -L "$root/$path" ]; then
    fail "$path left after removal"
  fi
done
echo "PASS: $(basename "$deb") installs, runs and removes"
