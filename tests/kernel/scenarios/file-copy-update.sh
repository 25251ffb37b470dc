# A whole file-copy update of a recorder with two volumes, by the wizard in the terminal (local
# mode): both FAT partitions are mounted, the free space comes from the real file system, the
# package is unpacked onto the first volume, which is then unmounted, and Finish. Afterwards
# the recorder has applied the files and the recording already on the volume is intact. Root
# mounts the volumes and the wizard unmounts with umount2; with TW_UDISKS the user at the seat
# mounts them through UDisks2, as a desktop's automounter does, and the wizard unmounts there.
# udcs: 1
# seconds: 240
recorder_copy file-copy-two-volumes
mkdir -p /tmp/recorder/volume1/Recordings
echo "a recording" >/tmp/recorder/volume1/Recordings/R0001.WAV
local_bundle file-copy-two-volumes
runner=
if [ -n "${TW_UDISKS:-}" ]; then
  runner=$(as_user "$TW_UDISKS")
  seat_user "$TW_UDISKS"
  udisks_start "$TW_UDISKS" || exit 1
fi
recorder_start 5201B0067890 || exit 1
disk=$(ls "$device/block")
udevadm settle
check "both volumes are partitions of $disk" test -b "/dev/${disk}1" -a -b "/dev/${disk}2"
vfat_modules
for number in 1 2; do
  if [ -n "$runner" ]; then
    # shellcheck disable=SC2086  # the runner's words
    $runner udisksctl mount --no-user-interaction -b "/dev/$disk$number" || exit 1
  else
    mkdir -p "/tmp/volume$number" && mount -t vfat "/dev/$disk$number" "/tmp/volume$number" || exit 1
  fi
done
grep "^/dev/$disk" /proc/mounts | tee /tmp/mounted
volume1=$(awk -v node="/dev/${disk}1" '$1 == node { print $2 }' /tmp/mounted)
available=$(df -B1 --output=avail "$volume1" | tail -n 1)
"$tool" mounts >/tmp/mounts
free=$(awk -F= -v point="$volume1" '$1 == "mountPoint" { at = $2 == point }
  at && $1 == "freeBytes" { print $2 }' /tmp/mounts)

# shellcheck disable=SC2086  # the runner's words
timeout 180 $runner "$wizard" --text --yes >/tmp/wizard.out 2>&1
status=$?
cat /tmp/wizard.out
scsi_device 5201B0067890 30 >/dev/null
dmesg >/tmp/dmesg
check "the wizard ends (status $status)" test $status -eq 0
check "it says the update has completed" grep -q 'The firmware update has completed.' /tmp/wizard.out
check "Tarnwell reads the first volume's free space from its file system ($free bytes)" \
  test "$free" = "$available"
check "it unmounted the first volume" not grep -q "^/dev/${disk}1 " /proc/mounts
check "the recorder applied the package's files" \
  grep -q '<string>VR5201.BIN</string>' /tmp/recorder/state.plist
check "and the text beside it" grep -q '<string>UPDATE.TXT</string>' /tmp/recorder/state.plist
check "it restarted after applying" grep -qx restarted=updateApplied /tmp/gadget.out
check "the kernel attached it again" \
  test "$(grep -c 'idVendor=f7a1, idProduct=0220' /tmp/dmesg)" -eq 2

udevadm settle
mkdir -p /tmp/check && mount -t vfat -o ro "/dev/${disk}1" /tmp/check
check "the recording on the volume is intact" grep -qx "a recording" /tmp/check/Recordings/R0001.WAV
umount /tmp/check
recorder_stop
