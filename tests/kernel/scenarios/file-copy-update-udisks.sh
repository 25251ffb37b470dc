# The whole file-copy update by the user at the seat, without root: UDisks2 mounts the
# recorder's volumes for the user, and the wizard unmounts the first one through UDisks2.
# udcs: 1
# seconds: 240
TW_UDISKS=4242
. "$TW_TESTS/scenarios/file-copy-update.sh"
grep -h 'ounted /dev/' /tmp/udisksd.log
check "UDisks2 unmounted the volume on the user's behalf" \
  grep -q "Unmounted /dev/sd.1 on behalf of uid $TW_UDISKS" /tmp/udisksd.log
