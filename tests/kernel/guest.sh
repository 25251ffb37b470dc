#!/bin/sh
# The virtual machine's first program after the initramfs (tests/kernel/README.md): prepares
# the system, runs one scenario under its time limit with lib.sh, writes the evidence and the
# verdict into the results share and powers off. Runs as PID 1 on the host's read-only root.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
say() {  # on the console, with the seconds since boot
  echo "guest: [$(cut -d' ' -f1 /proc/uptime)] $*"
}

mount -t proc proc /proc
say "started"
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts && mount -t devpts devpts /dev/pts
for folder in /tmp /run /var/tmp; do mount -t tmpfs -o mode=1777 tmpfs "$folder"; done
mkdir /run/results
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 results /run/results
. /run/results/config
for share in $TW_KEEP; do  # host folders under the tmpfs mounts above
  mkdir -p "${share#*:}"
  mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose "${share%%:*}" "${share#*:}"
done
export TW_SCENARIO TW_TESTS TW_TOP TW_BUILD TW_SECONDS TW_UDCS
export HOME=/tmp/home XDG_RUNTIME_DIR=/run/user/0 LANG=C.UTF-8
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
evidence=/run/results/evidence.log
output=/tmp/output.log

power_off() {
  sync
  umount /run/results
  echo o >/proc/sysrq-trigger
  sleep 30
}

say "loading modules"
{
  echo "== scenario $TW_SCENARIO on $(uname -r), time limit $TW_SECONDS s"
  # Two calls, not one a module: each call reads the module indexes over 9p again.
  modprobe -d "$TW_MODULES" -S "$TW_KERNEL" dummy_hcd num="$TW_UDCS" &&
    modprobe -d "$TW_MODULES" -S "$TW_KERNEL" -a libcomposite usb_f_fs usb_f_mass_storage \
      usb-storage sg sd_mod vfat &&
    mount -t configfs configfs /sys/kernel/config &&
    mkdir -p /run/udev/rules.d &&
    cp "$TW_TOP/driver/udev/70-korvane-dss.rules" /run/udev/rules.d/ &&
    /lib/systemd/systemd-udevd --daemon
} >"$evidence" 2>&1
prepared=$?

begun=$(date +%s)
if [ $prepared -ne 0 ]; then
  say "the machine could not be prepared"
  echo "not ok - the machine could not be prepared (the evidence's first lines say why)" >"$output"
  status=$prepared
else
  say "running $TW_SCENARIO"
  timeout --kill-after=5 "$TW_SECONDS" \
    sh -c '. "$TW_TESTS/lib.sh" && . "$1"; finish' scenario "$TW_SCENARIO_FILE" </dev/null >"$output" 2>&1
  status=$?
fi
took=$(($(date +%s) - begun))
case $status in
  0) verdict=PASS ;;
  124 | 137) verdict=FAIL && echo "not ok - stopped at the time limit of $TW_SECONDS s" >>"$output" ;;
  *) verdict=FAIL ;;
esac

say "$TW_SCENARIO ended with status $status after $took s; collecting evidence"
{
  echo "== udevadm info of the SCSI devices and sg nodes the scenario waited for"
  cat /run/udev-evidence 2>/dev/null
  echo "== dmesg"
  dmesg
  echo "== scenario output"
  cat "$output"
  echo "== $verdict $TW_SCENARIO in $took s (status $status)"
} >>"$evidence" 2>&1
echo "$verdict" >/run/results/verdict
power_off
