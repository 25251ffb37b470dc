# Tarnwell opens the recorder's sg node exclusively: while another program holds the node,
# tarnwell-tool scsi is refused at once with a clear message instead of interleaving its
# commands; once the node is free, the command goes through.
# udcs: 1
# seconds: 60
gadget_attach recorder 0xf7a1 0x0220 KT0220EXCL dummy_udc.0
recorder=$(scsi_device KT0220EXCL 30) || exit 1
sg=$(sg_node "$recorder")
echo "sg node: $sg"

exec 3<>"$sg"
timeout 20 "$tool" scsi --cdb E0000008000000000000000000000000 --in 8 >/tmp/busy.out 2>&1
status=$?
cat /tmp/busy.out
check "refused while $sg is held (status $status)" test $status -eq 1
check "the refusal says the recorder is in use" grep -q 'in use by another program' /tmp/busy.out
exec 3>&-

timeout 20 "$tool" scsi --cdb E0000008000000000000000000000000 --in 8 >/tmp/free.out 2>&1
cat /tmp/free.out
check "sent once the node is free" not grep -q 'in use by another program' /tmp/free.out
check "the command reached the recorder" grep -q '^result=0xE00002CA' /tmp/free.out
