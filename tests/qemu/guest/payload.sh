#!/bin/sh
# Test payload run inside the guest by /init (busybox sh). It reads the emulated disk with
# smartctl (the peer) and with DriveSentinel, and writes every output into /out for the
# host to compare. Each command's standard output, standard error and exit code land in
# NAME.out, NAME.err and NAME.rc. The payload's own exit code is non-zero only when the
# guest could not be set up as the checks need (partition, file system, mount).
out=/out
disk=/dev/sda
program=$(cat /etc/ds-program 2>/dev/null)

run() {  # run NAME COMMAND...
  name=$1
  shift
  "$@" >"$out/$name.out" 2>"$out/$name.err"
  echo $? >"$out/$name.rc"
}

timed_runs() {  # timed_runs NAME COUNT COMMAND...: start and end times, one line per run
  name=$1
  count=$2
  shift 2
  i=0
  while [ "$i" -lt "$count" ]; do
    start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1
    end=$EPOCHREALTIME
    echo "$start $end" >>"$out/$name.times"
    i=$((i + 1))
  done
}

echo "kernel $(uname -r)"
cat /sys/block/sda/device/model >"$out/sysfs_model.txt" 2>&1
cat /sys/block/sda/size >"$out/sysfs_size.txt" 2>&1
readlink -f /sys/block/sda >"$out/sysfs_path.txt" 2>&1

# The peer: smartctl through SCSI/ATA translation (-d sat, SG_IO) and through the
# kernel's SMART ioctls (-d ata, HDIO_DRIVE_CMD).
run smartctl_sat smartctl -j -i -A -H -d sat "$disk"
run smartctl_ata smartctl -j -i -A -H -d ata "$disk"
run hdparm hdparm -I "$disk"

# Our two S.M.A.R.T. paths, side by side, through the program's transport.
if [ -x /opt/ds/smart_paths ]; then
  run smart_paths /opt/ds/smart_paths "$disk"
fi
if [ -n "$program" ]; then
  run report_plain "$program" report --all --json
fi

# A mounted file system on a partition of the disk.
setup_failed=0
printf 'o\nn\np\n1\n\n\nw\n' | fdisk "$disk" >"$out/fdisk.log" 2>&1
waited=0
while [ ! -b /dev/sda1 ] && [ "$waited" -lt 50 ]; do
  sleep 0.1
  waited=$((waited + 1))
done
if mke2fs -L DSVOL /dev/sda1 >"$out/mke2fs.log" 2>&1 && mkdir -p /mnt/dsvol &&
  mount -t ext2 /dev/sda1 /mnt/dsvol 2>"$out/mount.log"; then
  dd if=/dev/zero of=/mnt/dsvol/filler bs=1024 count=4096 2>/dev/null
  sync
  # The guest has no udev: make the by-label link udev makes on a real machine.
  mkdir -p /dev/disk/by-label
  ln -sf ../../sda1 /dev/disk/by-label/DSVOL
  grep sda /proc/self/mountinfo >"$out/mountinfo.txt"
  # Free and total bytes the way statvfs gives them: f_bavail and f_blocks times f_frsize.
  stat -f -c '%a %b %S' /mnt/dsvol >"$out/statvfs.txt"
else
  echo "could not create or mount the file system" >&2
  setup_failed=1
fi

if [ -n "$program" ]; then
  run report_mounted "$program" report --all --json

  # Without rights: the device node closed to others (the normal case), and open to
  # everyone so that only the missing capability stands in the way.
  # The user "tester" (uid 1000) of /etc/passwd; its uid is recorded to show su worked.
  run unprivileged_uid su tester -s /bin/sh -c 'id -u'
  run unprivileged_closed su tester -s /bin/sh -c "$program report --all --json"
  chmod 0666 /dev/sd* /dev/sg* 2>/dev/null
  run unprivileged_open su tester -s /bin/sh -c "$program report --all --json"
  chmod 0600 /dev/sd* /dev/sg* 2>/dev/null

  # Side-by-side timing: our S.M.A.R.T. read of the disk against smartctl -A, interleaved.
  # Start-up alone (the programs load and exit without touching a disk) shows how much of
  # each figure is process start and dynamic loading rather than disk I/O.
  round=0
  while [ "$round" -lt 5 ]; do
    timed_runs time_smartctl 1 smartctl -A "$disk"
    timed_runs time_program 1 "$program" report --drive 0 --json
    timed_runs time_smartctl_start 1 smartctl -V
    timed_runs time_program_start 1 "$program" report --no-such-option
    round=$((round + 1))
  done
fi

# The erase sub-command on the extra disks of /etc/ds-erase-disks ("role|name|index|serial").
# Each gets a pattern first; what is left of it is read past the page cache.
write_pattern() {  # write_pattern DEV MIB...: one MiB of pattern at each MiB offset
  dev=$1
  shift
  for at in "$@"; do
    dd if=/tmp/pattern of="$dev" bs=1048576 seek="$at" conv=fsync 2>/dev/null
  done
}
erase() {  # erase SERIAL: the disk at $index
  "$program" erase --drive "$index" --serial "$1" --yes-erase-all-data </dev/null
}
if [ -n "$program" ]; then
  yes DSPATTERN | head -c 1048576 >/tmp/pattern
  while IFS='|' read -r role name index serial; do
    dev=/dev/$name
    mib=$(($(cat "/sys/block/$name/size") / 2048))
    if [ "$role" = unmap ]; then
      offsets="0 700 1400 2047 $((mib - 1))" # start, middle, first TRIM block's end, end
      write_pattern "$dev" $offsets
      run erase_wrong_serial erase "NOT-$serial"
      sleep 120 <"$dev" &
      holder=$!
      run erase_held_open erase "$serial"
      kill "$holder"
      wait "$holder" 2>/dev/null
      run erase_unmap erase "$serial"
      for at in $offsets; do
        echo "$at $(dd if="$dev" bs=1048576 skip="$at" count=1 iflag=direct 2>/dev/null |
          tr -d '\000' | wc -c)"
      done >"$out/erase_unmap_left.txt"
    else
      write_pattern "$dev" $(seq 0 $((mib - 1)))
      [ "$role" = parted ] && printf 'o\nn\np\n1\n\n\nw\n' | fdisk "$dev" >/dev/null 2>&1
      dd if="$dev" bs=1048576 iflag=direct 2>/dev/null | md5sum >"$out/erase_${role}_before.md5"
      run "erase_$role" erase "$serial"
      dd if="$dev" bs=1048576 iflag=direct 2>/dev/null | md5sum >"$out/erase_${role}_after.md5"
    fi
  done </etc/ds-erase-disks
fi

umount /mnt/dsvol 2>/dev/null
exit "$setup_failed"
