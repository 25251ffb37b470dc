# The scenarios' library (sourced; tests/kernel/README.md): USB gadgets on the dummy UDCs,
# waits for what the kernel and udev make of them, and checks that count failures.
set -u
failures=0
gadgets=/sys/kernel/config/usb_gadget
# shellcheck disable=SC2034  # the scenarios run it
tool=$TW_BUILD/Tarnwell/bin/tarnwell-tool

# check DESCRIPTION COMMAND...: runs COMMAND and reports "ok" or "not ok".
check() {
  description=$1
  shift
  if "$@"; then
    echo "ok - $description"
  else
    echo "not ok - $description"
    failures=$((failures + 1))
  fi
}

# not COMMAND...: succeeds when COMMAND fails, for check.
not() {
  ! "$@"
}

# Ends the scenario: it failed when a check failed.
finish() {
  echo "$failures failed check(s)"
  exit $((failures > 0 ? 1 : 0))
}

# gadget_attach NAME VENDOR PRODUCT SERIAL UDC: a gadget with the kernel's mass-storage
# function over a fresh 16 MiB backing file, bound to UDC (dummy_udc.0, dummy_udc.1, ...).
gadget_attach() {
  g=$gadgets/$1
  mkdir -p "$g/strings/0x409" "$g/configs/c.1/strings/0x409" "$g/functions/mass_storage.0"
  echo "$2" >"$g/idVendor"
  echo "$3" >"$g/idProduct"
  echo "$4" >"$g/strings/0x409/serialnumber"
  echo Korvane >"$g/strings/0x409/manufacturer"
  echo "Kernel test $1" >"$g/strings/0x409/product"
  echo "mass storage" >"$g/configs/c.1/strings/0x409/configuration"
  truncate -s 16M "/tmp/$1.img"
  echo "/tmp/$1.img" >"$g/functions/mass_storage.0/lun.0/file"
  [ -e "$g/configs/c.1/mass_storage.0" ] || ln -s "$g/functions/mass_storage.0" "$g/configs/c.1/"
  echo "$5" >"$g/UDC"
  echo "attached $1: $2:$3 serial $4 on $5"
}

# recorder_copy EXAMPLE: a copy of that example recorder folder at /tmp/recorder.
recorder_copy() {
  cp -r "$TW_TOP/resources/examples/$1" /tmp/recorder
}

# recorder_faults DICT...: the copy's faults are these <dict> elements.
recorder_faults() {
  faults=$(printf '%s' "$*" | sed 's/[&|]/\\&/g')
  sed -i "s|<array/>|<array>$faults</array>|" /tmp/recorder/recorder.plist
}

# recorder_start SERIAL: tarnwell-tool gadget presents /tmp/recorder as a USB disk on
# dummy_udc.0 in the background ($gadget is its pid, /tmp/gadget.out what it says); once udev
# has handled it, $device is the recorder's SCSI device.
recorder_start() {
  "$tool" gadget /tmp/recorder >/tmp/gadget.out 2>&1 &
  gadget=$!
  device=$(scsi_device "$1" 60) || { cat /tmp/gadget.out; return 1; }
}

# recorder_stop: stops the gadget with SIGTERM and checks that it ends cleanly.
recorder_stop() {
  kill -TERM "$gadget"
  wait "$gadget"
  status=$?
  cat /tmp/gadget.out
  check "the gadget stops cleanly (status $status)" test $status -eq 0
  check "no gadget is left in configfs" test -z "$(ls "$gadgets")"
}

# local_bundle EXAMPLE: a copy of the application bundle at /tmp/run/Tarnwell with that
# example's firmware.ini and package beside it, so that tarnwell runs in local mode; its log
# is on (standard error, as the machine has no journal).
# shellcheck disable=SC2034  # the scenarios run it
wizard=/tmp/run/Tarnwell/bin/tarnwell
local_bundle() {
  mkdir -p /tmp/run/Tarnwell/bin
  cp -r "$TW_BUILD/Tarnwell/Info.plist" "$TW_BUILD/Tarnwell/share" /tmp/run/Tarnwell/
  cp "$TW_BUILD/Tarnwell/bin/tarnwell" /tmp/run/Tarnwell/bin/
  cp "$TW_TOP/resources/examples/$1"/firmware.* /tmp/run/
  mkdir -p /tmp/xdg/Velmora
  printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<plist version="1.0"><dict>' \
    '<key>dvr_update_enable_log</key><true/>' '</dict></plist>' >/tmp/xdg/Velmora/UseTestServer.plist
  export XDG_CONFIG_DIRS=/tmp/xdg
}

# as_user UID: prints the command prefix that runs a command as that user (no password entry
# needed), with a home and a runtime folder of its own.
as_user() {
  mkdir -p "/tmp/home-$1" "/run/user/$1"
  chown "$1:$1" "/tmp/home-$1" "/run/user/$1"
  chmod 700 "/run/user/$1"
  echo "setpriv --reuid=$1 --regid=$1 --clear-groups env HOME=/tmp/home-$1 XDG_RUNTIME_DIR=/run/user/$1"
}

# seat_user UID: logind's records of UID as the active user of seat0, written as logind writes
# them (the machine runs no logind): udev's uaccess then grants UID the recorder's sg node, and
# the driver's "local" check lets UID in.
seat_user() {
  mkdir -p /run/systemd/seats /run/systemd/users
  printf 'ACTIVE=c1\nACTIVE_UID=%s\n' "$1" >/run/systemd/seats/seat0
  printf 'STATE=active\nONLINE_SEATS=seat0\nACTIVE_SEATS=seat0\n' >"/run/systemd/users/$1"
}

# udisks_start UID: UDisks2 on the system bus, with polkit allowing its actions to UID, who is
# given the name "tester" (a password entry bound over the read-only /etc/passwd); mounts go
# under a tmpfs on /media.
udisks_start() {
  getent passwd "$1" >/dev/null && { echo "user $1 exists on this machine" >&2; return 1; }
  cp /etc/passwd /etc/group /tmp/
  echo "tester:x:$1:$1:Tester:/tmp/home-$1:/bin/sh" >>/tmp/passwd
  echo "tester:x:$1:" >>/tmp/group
  mount --bind /tmp/passwd /etc/passwd && mount --bind /tmp/group /etc/group &&
    mount -t tmpfs tmpfs /media && mount -t tmpfs tmpfs /etc/polkit-1/rules.d || return 1
  cat >/etc/polkit-1/rules.d/10-tester.rules <<'RULES'
polkit.addRule(function(action, subject) {
  if (action.id.indexOf("org.freedesktop.udisks2.") == 0 && subject.user == "tester")
    return polkit.Result.YES;
});
RULES
  mkdir -p /run/dbus
  dbus-daemon --system --fork || return 1
  /usr/lib/polkit-1/polkitd --no-debug >/tmp/polkitd.log 2>&1 &
  /usr/libexec/udisks2/udisksd >/tmp/udisksd.log 2>&1 &
  for _ in $(seq 50); do
    udisksctl status >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  echo "UDisks2 did not start" >&2
  cat /tmp/udisksd.log >&2
  return 1
}

# vfat_modules: vfat's default code pages, modules of their own.
vfat_modules() {
  (. /run/results/config && modprobe -d "$TW_MODULES" -S "$TW_KERNEL" -a nls_cp437 nls_ascii)
}

# gadget_detach NAME: unbinds the gadget from its UDC, a real unplug for the host side.
gadget_detach() {
  echo "" >"$gadgets/$1/UDC"
  echo "detached $1"
}

# gone NODE SECONDS: waits until udev has handled the removal of NODE.
gone() {
  udevadm wait --removed --settle --timeout="$2" "$1"
}

# scsi_device SERIAL SECONDS: prints the sysfs folder of the SCSI device of the USB device
# with that serial once udev has handled its sg node, and adds what udev holds on both to the
# evidence (at that moment: a later unplug removes them); fails after SECONDS.
scsi_device() {
  deadline=$(($(date +%s) + $2))
  while :; do
    for serial in /sys/bus/usb/devices/*/serial; do
      [ "$(cat "$serial" 2>/dev/null)" = "$1" ] || continue
      for sg in "${serial%/serial}"/*/host*/target*/*/scsi_generic/sg*; do
        [ -e "$sg" ] || continue
        device=$(realpath "$sg/../..")
        udevadm wait --settle --timeout=$((deadline - $(date +%s) + 1)) "/dev/${sg##*/}" || return 1
        {
          echo "-- serial $1, $(cut -d' ' -f1 /proc/uptime) s after boot"
          udevadm info --query=all "$device" "/dev/${sg##*/}"
        } >>/run/udev-evidence 2>&1
        echo "$device"
        return 0
      done
    done
    [ "$(date +%s)" -lt "$deadline" ] || { echo "no SCSI device with serial $1 after $2 s" >&2; return 1; }
    sleep 0.2
  done
}

# sg_node SCSI_DEVICE: its /dev/sgN.
sg_node() {
  echo "/dev/$(ls "$1/scsi_generic")"
}

# block_node SCSI_DEVICE: its disk's node.
block_node() {
  echo "/dev/$(ls "$1/block")"
}

# udev_property PATH KEY: the value udev's database holds for KEY (a node or a sysfs folder).
udev_property() {
  udevadm info --query=property --property="$2" --value "$1"
}

# udev_tagged PATH TAG: whether udev tagged the device with TAG.
udev_tagged() {
  udev_property "$1" TAGS | grep -q ":$2:"
}
