#!/bin/sh
# Run by /init: smartctl, the probe and DriveSentinel read the disk and its self-test log, the
# extra disks are erased; outputs in /out/NAME.out, .err, .rc. Exits non-zero only when the
# volume cannot be set up.
out=/out
program=/opt/ds/drivesentinel
wait_for() {  # wait_for TENTHS TEST...: until the test holds, at most TENTHS tenths of a second
  tenths=$1
  shift
  for i in $(seq "$tenths"); do "$@" && return; sleep 0.1; done
}
run() {  # run NAME COMMAND...
  name=$1
  shift
  "$@" >"$out/$name.out" 2>"$out/$name.err"
  echo $? >"$out/$name.rc"
}
# Probes end in any order: each disk is found by its serial (VPD page 0x80) once all are there.
name_of() {  # name_of SERIAL: the kernel name of that disk
  vpd=$(grep -l "$1" /sys/block/sd*/device/vpd_pg80 2>/dev/null | head -n 1)
  vpd=${vpd#/sys/block/}
  echo "${vpd%%/*}"
}
index_of() {  # index_of NAME: the drive index, the disk's place among sorted kernel names
  echo $(($(ls /sys/block | grep '^sd' | sort | grep -n "^$1\$" | cut -d: -f1) - 1))
}
all_disks() { [ "$(ls -d /sys/block/sd* | wc -l)" -ge "$(wc -l </etc/ds-disks)" ]; }
wait_for 300 all_disks
serial=$(sed -n 's/^main|//p' /etc/ds-disks)
dname=$(name_of "$serial")
disk=/dev/$dname
cat "/sys/block/$dname/device/model" >"$out/sysfs_model.txt" 2>&1

# The peer through SCSI/ATA translation (-d sat, SG_IO) and the SMART ioctls (-d ata, HDIO).
run smartctl_sat smartctl -j -i -A -H -d sat "$disk"
run smartctl_ata smartctl -j -i -A -H -d ata "$disk"
run smart_paths /opt/ds/smart_paths "$disk"
run report_plain "$program" report --all --json

# 23 self-tests, short and extended mixed: QEMU's log keeps 21, so its ring wraps. QEMU ends
# each at once; a test still running is waited for, briefly. Lines "kind exit-code output".
index=$(index_of "$dname")
for i in $(seq 23); do
  kind=short
  [ $((i % 3)) -eq 0 ] && kind=extended
  for try in $(seq 20); do
    "$program" selftest --drive "$index" --serial "$serial" "--$kind" >/tmp/selftest.out 2>&1
    rc=$?
    grep -q "already running" /tmp/selftest.out || break
    sleep 0.2
  done
  echo "$kind $rc $(tr '\n' ' ' </tmp/selftest.out)" >>"$out/selftests.txt"
done
run selftest_report "$program" report --drive "$index" --json
run smartctl_selftest smartctl -j -l selftest -d sat "$disk"
# The table as smartctl prints it, and the log sector in hex (its index, byte 508, included).
# QEMU's disk has no log directory: smartctl is told to read log 06h without one.
run smartctl_selftest_raw smartctl -l selftest -l smartlog,0x06 -T permissive -d sat "$disk"

# A mounted file system on a partition of the disk.
setup_failed=0
printf 'o\nn\np\n1\n\n\nw\n' | fdisk "$disk" >"$out/fdisk.log" 2>&1
wait_for 50 [ -b "${disk}1" ]
if mke2fs -L DSVOL "${disk}1" >"$out/mke2fs.log" 2>&1 && mkdir -p /mnt/dsvol &&
  mount -t ext2 "${disk}1" /mnt/dsvol 2>"$out/mount.log"; then
  dd if=/dev/zero of=/mnt/dsvol/filler bs=1024 count=4096 2>/dev/null
  sync
  # No udev in the guest: the by-label link udev makes on a real machine.
  mkdir -p /dev/disk/by-label
  ln -sf "../../${dname}1" /dev/disk/by-label/DSVOL
  grep "$dname" /proc/self/mountinfo >"$out/mountinfo.txt"
  # Free and total bytes as statvfs gives them: f_bavail and f_blocks times f_frsize.
  stat -f -c '%a %b %S' /mnt/dsvol >"$out/statvfs.txt"
else
  echo "could not create or mount the file system" >&2
  setup_failed=1
fi
run report_mounted "$program" report --all --json

# As "tester": device nodes closed to others, then open so that only the capability is missing.
run unprivileged_closed su tester -s /bin/sh -c "$program report --all --json"
chmod 0666 /dev/sd* /dev/sg* 2>/dev/null
run unprivileged_open su tester -s /bin/sh -c "$program report --all --json"
chmod 0600 /dev/sd* /dev/sg* 2>/dev/null

# Erase the extra disks ("role|serial") holding a pattern; index = place among sorted kernel names.
write_pattern() {  # write_pattern DEV MIB...: one MiB of pattern at each MiB offset
  dev=$1
  shift
  for at in "$@"; do dd if=/tmp/pattern of="$dev" bs=1048576 seek="$at" conv=fsync 2>/dev/null; done
}
erase() {  # erase SERIAL: the disk at $index
  "$program" erase --drive "$index" --serial "$1" --yes-erase-all-data </dev/null
}
yes DSPATTERN | head -c 1048576 >/tmp/pattern
grep -v '^main|' /etc/ds-disks | while IFS='|' read -r role serial; do
  dname=$(name_of "$serial")
  index=$(index_of "$dname")
  dev=/dev/$dname
  mib=$(($(cat "/sys/block/$dname/size") / 2048))
  if [ "$role" = unmap ]; then
    offsets="0 700 1400 2047 $((mib - 1))" # start, middle, first TRIM block's end, end
    write_pattern "$dev" $offsets
    sleep 120 <"$dev" &
    holder=$!
    run erase_held_open erase "$serial"
    kill "$holder"
    wait "$holder" 2>/dev/null
    run erase_unmap erase "$serial"
  else
    write_pattern "$dev" $(seq 0 $((mib - 1)))
    run "erase_$role" erase "$serial"
  fi
done
umount /mnt/dsvol 2>/dev/null
exit "$setup_failed"
