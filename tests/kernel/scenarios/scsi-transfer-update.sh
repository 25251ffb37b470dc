# A whole update of a SCSI-transfer recorder that needs the mode change, by the wizard in the
# terminal (local mode, every question answered yes): detection through real udev and sysfs,
# identity over real SG_IO, the mode change as a real disconnect and reconnect (a new SCSI
# host and sg node), upload and read-back. Afterwards the recorder's flash holds the image and
# its state says it was updated. tarnwell-tool, trying a command while the update holds the
# recorder, is refused. TW_AS_USER runs the wizard as that user instead of root.
# udcs: 1
# seconds: 240
recorder_copy scsi-mode-change
local_bundle scsi-mode-change
recorder_start 410A0012345 || exit 1
echo "before the mode change: $device, $(sg_node "$device")"

runner=
[ -z "${TW_AS_USER:-}" ] || runner=$(as_user "$TW_AS_USER")
# shellcheck disable=SC2086  # the runner's words
timeout 180 $runner "$wizard" --text --yes >/tmp/wizard.out 2>&1 &
wizard_pid=$!
for _ in $(seq 600); do
  grep -q '^E4 00 ' /tmp/recorder/transcript.txt 2>/dev/null && break
  sleep 0.1
done
"$tool" scsi --cdb E0000008000000000000000000000000 --in 8 >/tmp/second.out 2>&1
second=$?
wait $wizard_pid
status=$?
cat /tmp/wizard.out
device=$(scsi_device 410A0012345 30)
echo "after the update: $device, $(sg_node "$device")"
dmesg >/tmp/dmesg

check "the wizard ends (status $status)" test $status -eq 0
check "it says the update has completed" grep -q 'The firmware update has completed.' /tmp/wizard.out
check "no alert" not grep -q 'Could not communicate' /tmp/wizard.out
cat /tmp/second.out
check "a second program's command during the update is refused (status $second)" \
  grep -q 'the recorder is in use by another program' /tmp/second.out
check "the USB product string is the model name" grep -q 'usb 1-1: Product: VR-410$' /tmp/dmesg
check "and so is the disk's, with the firmware's revision" \
  grep -q 'Direct-Access *VELMORA *VR-410 *1.00' /tmp/dmesg
check "the mode change went through SG_IO" grep -q 'CDB=(E2 02 00' /tmp/wizard.out
check "the mode change and the update's restart were real reconnects" \
  test "$(grep -c 'idVendor=f7a1, idProduct=0210' /tmp/dmesg)" -eq 3
check "each time as a new USB device" \
  test "$(grep -o 'new high-speed USB device number [0-9]*' /tmp/dmesg | sort -u | wc -l)" -eq 3
check "no command failed at a disconnect" not grep -q 'FAILED Result' /tmp/dmesg
check "after the update its disk reports the new firmware's revision" \
  grep -q 'Direct-Access *VELMORA *VR-410 *1.10' /tmp/dmesg
check "the recorder wrote the upload and the read-back in its transcript" \
  grep -q '^E4 05 00 01 .* in 65536 GOOD$' /tmp/recorder/transcript.txt
check "its flash holds the image" \
  cmp -n "$(stat -c %s /tmp/run/firmware.bin)" /tmp/run/firmware.bin /tmp/recorder/flash-dsp.bin
check "its state says it was updated" grep -q '<string>Ver 1.10</string>' /tmp/recorder/state.plist
check "by SCSI transfer" grep -q '<string>scsiTransfer</string>' /tmp/recorder/state.plist
if [ -n "${TW_AS_USER:-}" ]; then
  sg=$(sg_node "$device")
  getfacl -n "$sg" | tee /tmp/acl
  check "udev gave user $TW_AS_USER read and write on $sg" grep -qx "user:$TW_AS_USER:rw-" /tmp/acl
fi
recorder_stop
