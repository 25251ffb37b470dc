# The whole SCSI-transfer update by an unprivileged user sitting at the machine, without root:
# with logind's records of the seat's active user in place, udev's own uaccess grants the user
# an ACL on the recorder's sg node at each connection, and the driver's "local" check lets the
# user in.
# udcs: 1
# seconds: 240
seat_user 1000
TW_AS_USER=1000
. "$TW_TESTS/scenarios/scsi-transfer-update.sh"
