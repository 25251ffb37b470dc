# Without the device rule the recorder is a plain disk without a driver entry: tarnwell-tool
# detect and the wizard both say that the rule is missing, and how to get it.
# udcs: 1
# seconds: 120
rm /run/udev/rules.d/70-korvane-dss.rules
udevadm control --reload
recorder_copy scsi-mode-change
local_bundle scsi-mode-change
recorder_start 410A0012345 || exit 1

"$tool" detect --log >/tmp/detect.out 2>&1
status=$?
cat /tmp/detect.out
timeout 60 "$wizard" --text --yes >/tmp/wizard.out 2>&1
wizard_status=$?
cat /tmp/wizard.out
check "detect fails (status $status)" test $status -eq 1
check "with the failed step's code" grep -qx code=14 /tmp/detect.out
check "and names the missing rule" \
  grep -q 'the device rule 70-korvane-dss.rules is not installed' /tmp/detect.out
check "the wizard fails (status $wizard_status)" test $wizard_status -eq 1
check "its alert says the rules are missing" \
  grep -q "Tarnwell's device access rules are not installed" /tmp/wizard.out
recorder_stop
