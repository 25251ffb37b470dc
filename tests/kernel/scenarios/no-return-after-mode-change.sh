# The recorder takes the mode change and never comes back: the wizard gives it a bounded time
# to settle and then says that no recorder is found, instead of hanging.
# udcs: 1
# seconds: 200
recorder_copy scsi-mode-change
recorder_faults '<dict><key>kind</key><string>vanish</string><key>afterCommands</key><integer>2</integer></dict>'
local_bundle scsi-mode-change
recorder_start 410A0012345 || exit 1

begun=$(date +%s)
timeout 150 "$wizard" --text --yes >/tmp/wizard.out 2>&1
status=$?
took=$(($(date +%s) - begun))
cat /tmp/wizard.out
check "the recorder took the mode change and vanished" grep -qx vanished=dummy_udc.0 /tmp/gadget.out
check "the wizard ends with a failure after $took s (status $status)" \
  test $status -ne 0 -a $status -ne 124
check "the alert says that no recorder is found" grep -q 'No recorder was found.' /tmp/wizard.out
check "nothing claims success" not grep -q 'update has completed' /tmp/wizard.out
recorder_stop
