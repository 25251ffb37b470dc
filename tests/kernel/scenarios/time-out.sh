# A vendor command that the host times out (the recorder's latency fault beyond the
# command's time-out): usb-storage aborts it and resets the port, the gadget drops the late
# answer instead of sending it into the next command, and the next commands are answered.
# udcs: 1
# seconds: 120
recorder_copy scsi-mode-change
recorder_faults '<dict><key>kind</key><string>latency</string><key>seconds</key><real>6</real></dict>'
recorder_start 410A0012345 || exit 1
sg=$(sg_node "$device")

"$tool" scsi --cdb E0000008000000000000000000000000 --in 8 --timeout 2000 >/tmp/late.out 2>&1
cat /tmp/late.out
check "the command the host timed out does not succeed" not grep -qx 'status=0x00' /tmp/late.out
check "it is reported as a time-out" grep -qx 'result=0xE00002D6' /tmp/late.out
sleep 6  # the late answer is due now
sg_raw -r 36 "$sg" 12 00 00 00 24 00 >/tmp/inquiry.out 2>&1
check "the next disk command gets its own answer" grep -q 'VELMORA' /tmp/inquiry.out
"$tool" scsi --cdb E0000008000000000000000000000000 --in 8 --timeout 20000 >/tmp/model.out
cat /tmp/inquiry.out /tmp/model.out
check "the next vendor command too" grep -qx 'data=56522D3431300000' /tmp/model.out
check "the host reset the port once" test "$(dmesg | grep -c 'reset high-speed USB device')" -eq 1
recorder_stop
