# The gadget's file-copy path through the real kernel: a copy of file-copy-two-volumes shows
# two FAT partitions; the package unpacked onto the first one through a real vfat mount is
# what the recorder applies at UpdateFirmwareFinish, once the volume is unmounted; the
# recording already on the volume stays intact and the recorder restarts (a second attach).
# udcs: 1
# seconds: 150
cp -r "$TW_TOP/resources/examples/file-copy-two-volumes" /tmp/recorder
mkdir -p /tmp/recorder/volume1/Recordings /tmp/volume
echo "a recording" >/tmp/recorder/volume1/Recordings/R0001.WAV
"$tool" gadget /tmp/recorder >/tmp/gadget.out 2>&1 &
gadget=$!
device=$(scsi_device 5201B0067890 60) || { cat /tmp/gadget.out; exit 1; }
disk=$(ls "$device/block")
udevadm settle
check "both volumes are partitions of $disk" test -b "/dev/${disk}1" -a -b "/dev/${disk}2"

# vfat's default code pages are modules of their own (the runner's config names the tree).
(. /run/results/config && modprobe -d "$TW_MODULES" -S "$TW_KERNEL" -a nls_cp437 nls_ascii)
mount -t vfat "/dev/${disk}1" /tmp/volume || { dmesg | tail -n 5; exit 1; }
mkdir -p /tmp/volume/System/Update
"$tool" unpack "$TW_TOP/resources/examples/file-copy-two-volumes/firmware.zip" \
  /tmp/volume/System/Update
check "the recording is on the mounted volume" \
  grep -qx "a recording" /tmp/volume/Recordings/R0001.WAV
umount /tmp/volume

"$tool" scsi --cdb E4000000000000000000000000000000 --in 2 >/tmp/start.out
check "UpdateFirmwareStart (0, 0) is taken" grep -qx 'status=0x00' /tmp/start.out
"$tool" scsi --cdb E4030000000000000000000000000000 >/tmp/finish.out
cat /tmp/start.out /tmp/finish.out
check "UpdateFirmwareFinish is taken" grep -qx 'status=0x00' /tmp/finish.out
scsi_device 5201B0067890 30 >/dev/null
cat /tmp/recorder/state.plist
check "the recorder applied the package's files" \
  grep -q '<string>VR5201.BIN</string>' /tmp/recorder/state.plist
check "and the text beside it" grep -q '<string>UPDATE.TXT</string>' /tmp/recorder/state.plist
check "it restarted after applying" grep -qx restarted=updateApplied /tmp/gadget.out
check "the kernel attached it again" \
  test "$(dmesg | grep -c 'idVendor=f7a1, idProduct=0220')" -eq 2

kill -TERM $gadget
wait $gadget
status=$?
cat /tmp/gadget.out
check "the gadget stops cleanly (status $status)" test $status -eq 0
