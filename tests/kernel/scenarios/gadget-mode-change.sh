# tarnwell-tool gadget presents a copy of the scsi-mode-change example as a USB disk on the
# dummy UDC: identify reads its identity through the kernel's usb-storage, sd and sg over
# real SG_IO, and the mode change is a real disconnect and reconnect (a second attach in
# dmesg); stopping the gadget leaves nothing in configfs.
# udcs: 1
# seconds: 150
cp -r "$TW_TOP/resources/examples/scsi-mode-change" /tmp/recorder
"$tool" gadget /tmp/recorder >/tmp/gadget.out 2>&1 &
gadget=$!
scsi_device 410A0012345 60 >/dev/null || { cat /tmp/gadget.out; exit 1; }

timeout 90 "$tool" identify --log >/tmp/identify.out 2>/tmp/identify.log
status=$?
cat /tmp/identify.log /tmp/identify.out
scsi_device 410A0012345 30 >/dev/null
dmesg >/tmp/dmesg
check "identify succeeds (status $status)" test $status -eq 0
check "the identity is the recorder's" grep -qx serialID=410A0012345 /tmp/identify.out
check "its model name came over the wire" grep -qx 'deviceName=VR-410\\0\\0' /tmp/identify.out
check "the mode change went through SG_IO" grep -q 'CDB=(E2 02 00' /tmp/identify.log
check "the gadget was attached" grep -qx attached=dummy_udc.0 /tmp/gadget.out
check "the mode change restarted it" grep -qx restarted=modeChanged /tmp/gadget.out
check "the USB product string is the model name" grep -q 'usb 1-1: Product: VR-410$' /tmp/dmesg
check "and so is the disk's" grep -q 'Direct-Access *VELMORA *VR-410 *1.00' /tmp/dmesg
check "the kernel attached the recorder twice" \
  test "$(grep -c 'idVendor=f7a1, idProduct=0210' /tmp/dmesg)" -eq 2
check "the host saw the disconnect" grep -q 'USB disconnect' /tmp/dmesg
check "no command failed at the disconnect" not grep -q 'FAILED Result' /tmp/dmesg
check "the recorder wrote the mode change in its transcript" \
  grep -q '^E2 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 none 0 GOOD$' /tmp/recorder/transcript.txt

kill -TERM $gadget
wait $gadget
status=$?
cat /tmp/gadget.out
check "the gadget stops cleanly on SIGTERM (status $status)" test $status -eq 0
check "no gadget is left in configfs" test -z "$(ls "$gadgets")"
