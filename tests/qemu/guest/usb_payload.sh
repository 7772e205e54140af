#!/bin/sh
# Run by /init for the USB bridge test: an AHCI disk and QEMU's usb-storage disk side by side;
# smartctl and DriveSentinel look at both. Outputs in /out/NAME.out, .err, .rc.
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
two_disks() { [ "$(ls -d /sys/block/sd* 2>/dev/null | wc -l)" -ge 2 ]; }
wait_for 600 two_disks
for block in /sys/block/sd*; do
  case "$(readlink -f "$block")" in
  */usb*) usb=${block#/sys/block/} ;;
  *) ata=${block#/sys/block/} ;;
  esac
done
[ -n "$usb" ] && [ -n "$ata" ] || { echo "no USB disk beside the AHCI one" >&2; exit 1; }
folder=$(readlink -f "/sys/block/$usb")
while [ ! -e "$folder/idVendor" ] && [ "$folder" != /sys ]; do folder=${folder%/*}; done
echo "$(cat "$folder/idVendor"):$(cat "$folder/idProduct") speed=$(cat "$folder/speed") \
type=$(cat "/sys/block/$usb/device/type")" >"$out/usb_sysfs.txt"

cat "/sys/block/$ata/device/model" >"$out/sysfs_model.txt" 2>&1
run smartctl_sat smartctl -j -i -A -H -d sat "/dev/$ata"
run smartctl_ata smartctl -j -i -A -H -d ata "/dev/$ata"
# What the bridge answers to each block, with the sense data smartctl decodes.
run usb_sat16 smartctl -i -r ioctl,2 -d sat,16 "/dev/$usb"
run usb_sat12 smartctl -i -r ioctl,2 -d sat,12 "/dev/$usb"
run report_json "$program" report --all --json
run report_text "$program" report --all
exit 0
