# The recorder is unplugged in the middle of the upload (it answers the second upload command
# and is gone): the command in flight fails as one whose device went away, the wizard ends
# with that alert in bounded time, and nothing claims success.
# udcs: 1
# seconds: 200
recorder_copy scsi-mode-change
recorder_faults '<dict><key>kind</key><string>vanish</string><key>afterCommands</key><integer>13</integer></dict>'
local_bundle scsi-mode-change
recorder_start 410A0012345 || exit 1

timeout 150 "$wizard" --text --yes >/tmp/wizard.out 2>&1
status=$?
cat /tmp/wizard.out /tmp/recorder/transcript.txt
dmesg >/tmp/dmesg
check "the recorder vanished during the upload" grep -qx vanished=dummy_udc.0 /tmp/gadget.out
check "the kernel saw it go" grep -q 'USB disconnect' /tmp/dmesg
check "the wizard ends with a failure (status $status)" test $status -ne 0 -a $status -ne 124
check "the command in flight failed as the device's going away" \
  grep -q 'SCSIStatus=0x4$' /tmp/wizard.out
check "with the alert that the recorder was lost" \
  grep -q 'Could not communicate with the recorder. (Error code: 268435459)' /tmp/wizard.out
check "nothing claims success" not grep -q 'update has completed' /tmp/wizard.out
recorder_stop
