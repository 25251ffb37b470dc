#!/bin/busybox sh
# The initramfs's /init (scripts/test-kernel builds it with static busybox): loads the virtio
# and 9p modules in their order, mounts the host's root read-only over 9p and hands over to
# tests/kernel/guest.sh on it (tw_guest= on the kernel command line). Any failure powers off.
/bin/busybox mkdir -p /sbin /usr/bin /usr/sbin
/bin/busybox --install -s
mount -t proc proc /proc
mount -t devtmpfs dev /dev
stop() {
  echo "initramfs: $*"
  echo o >/proc/sysrq-trigger
  sleep 10
}
for module in $(cat /modules/order); do
  insmod "/modules/$module.ko" || stop "insmod $module failed"
done
# cache=loose: the guest keeps what it read of the host's programs and libraries instead of
# reading them over 9p at every start, which halves a boot under TCG.
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose root /newroot ||
  stop "the root share did not mount"
[ -x "/newroot$tw_guest" ] || stop "no guest program at $tw_guest"
umount /proc /dev
exec switch_root /newroot "$tw_guest"
