# The kernel's own mass-storage function refuses the recorder's vendor commands with CHECK
# CONDITION / ILLEGAL REQUEST: tarnwell-tool identify reports a failure without hanging, and
# its log shows the sense as text.
# udcs: 1
# seconds: 90
gadget_attach recorder 0xf7a1 0x0220 KT0220REFUSE dummy_udc.0
scsi_device KT0220REFUSE 30 >/dev/null || exit 1

timeout 45 "$tool" identify --log >/tmp/identify.out 2>/tmp/identify.log
status=$?
cat /tmp/identify.log /tmp/identify.out
check "identify ends by itself (status $status; 124 is the 45 s limit)" test $status -ne 124
check "identify reports a failure" test $status -ne 0
check "identify's status line is not 0" not grep -qx status=0 /tmp/identify.out
check "the log shows a vendor command answered with CHECK CONDITION" \
  grep -q 'Execute Command: SCSIStatus=0x2' /tmp/identify.log
check "the log decodes the sense as text" grep -q 'Sense=Illegal Request' /tmp/identify.log
