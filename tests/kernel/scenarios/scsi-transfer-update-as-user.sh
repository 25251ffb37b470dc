# The whole SCSI-transfer update by an unprivileged user sitting at the machine, without root:
# with logind's records of the seat's active user and of that user's active seats in place
# (written here as logind writes them; the machine runs no logind), udev's own uaccess grants
# the user an ACL on the recorder's sg node at each connection, and the driver's "local" check
# lets the user in.
# udcs: 1
# seconds: 240
user=1000
mkdir -p /run/systemd/seats /run/systemd/users
printf 'ACTIVE=c1\nACTIVE_UID=%s\n' $user >/run/systemd/seats/seat0
printf 'STATE=active\nONLINE_SEATS=seat0\nACTIVE_SEATS=seat0\n' >/run/systemd/users/$user

TW_AS_USER=$user
. "$TW_TESTS/scenarios/scsi-transfer-update.sh"
