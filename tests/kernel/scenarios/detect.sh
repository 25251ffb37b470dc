# tarnwell-tool detect finds the recorder through real udev and sysfs and lists it as
# supported; the foreign USB disk beside it is not; once the recorder is unplugged, detect
# lists no supported device.
# udcs: 2
# seconds: 90
gadget_attach recorder 0xf7a1 0x0220 KT0220DETECT dummy_udc.0
gadget_attach foreign 0xf7b0 0x0220 KTFOREIGN dummy_udc.1
recorder=$(scsi_device KT0220DETECT 30) || exit 1
scsi_device KTFOREIGN 30 >/dev/null || exit 1

"$tool" detect --log >/tmp/detect.out 2>/tmp/detect.log
status=$?
cat /tmp/detect.log /tmp/detect.out
sed -n '/^supportedDevices=/,$p' /tmp/detect.out >/tmp/supported
check "detect succeeds (status $status)" test $status -eq 0
check "one supported device" grep -qx 'supportedDevices=1' /tmp/detect.out
check "the supported device is the recorder" \
  grep -qx vendorID=0xF7A1 /tmp/supported
check "the foreign disk is not supported" \
  not grep -qx vendorID=0xF7B0 /tmp/supported

sg=$(sg_node "$recorder")
gadget_detach recorder
gone "$sg" 20 || echo "$sg is still there"
"$tool" detect >/tmp/detect.out
check "after the unplug, no supported device" grep -qx 'supportedDevices=0' /tmp/detect.out
