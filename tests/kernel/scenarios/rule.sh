# The project's udev rule marks the recorder's SCSI device for the pass-through driver and
# tags its sg node for uaccess; a foreign USB disk on the second UDC gets neither.
# udcs: 2
# seconds: 60
gadget_attach recorder 0xf7a1 0x0220 KT0220RULE dummy_udc.0
gadget_attach foreign 0xf7b0 0x0220 KTFOREIGN dummy_udc.1
recorder=$(scsi_device KT0220RULE 30) || exit 1
foreign=$(scsi_device KTFOREIGN 30) || exit 1

check "the recorder's SCSI device carries KORVANE_DSS_DRIVER" \
  test "$(udev_property "$recorder" KORVANE_DSS_DRIVER)" = com_korvane_DSSBlockCommandsDevice
check "the recorder's sg node $(sg_node "$recorder") is tagged uaccess" \
  udev_tagged "$(sg_node "$recorder")" uaccess
check "the foreign SCSI device carries no KORVANE_DSS_DRIVER" \
  test -z "$(udev_property "$foreign" KORVANE_DSS_DRIVER)"
check "the foreign sg node $(sg_node "$foreign") is not tagged uaccess" \
  not udev_tagged "$(sg_node "$foreign")" uaccess
