#!/bin/busybox sh
# The virtual machine's first process: loads the USB and FAT drivers, mounts the card the
# way the case asks (kernel argument fwcase=), runs fwupgrade on the serial console and
# powers off.  The host reads the lines beginning with "vm:".
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# The kernel's log to the second serial port (a file on the host), as it comes: the console
# shows none of it, and a run may end in a power cut.  With it the trace of every fsync and
# rename and of every disk request done, which tells where in the write a cut came.
cat /proc/kmsg > /dev/ttyS1 &
if mount -t tracefs tracefs /sys/kernel/tracing; then
  for event in syscalls/sys_enter_fsync syscalls/sys_exit_fsync syscalls/sys_enter_renameat \
               syscalls/sys_exit_renameat syscalls/sys_enter_renameat2 syscalls/sys_exit_renameat2 \
               block/block_rq_complete; do
    echo 1 > /sys/kernel/tracing/events/$event/enable
  done
  cat /sys/kernel/tracing/trace_pipe > /dev/ttyS1 &
fi
# In the order the host wrote, each after the modules it depends on.
while read -r module; do
  insmod /modules/$module.ko || echo "vm: module $module not loaded"
done < /modules/order

case=$(sed -n 's/.*fwcase=\([a-z0-9-]*\).*/\1/p' /proc/cmdline)
# The card: the first partition where there is a partition table, else the whole disk.
volume=sda1
[ "$case" = whole-disk ] && volume=sda
waited=0
while [ ! -e /sys/class/block/sda ] && [ $waited -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
[ -e /sys/class/block/sda ] || echo "vm: no USB disk appeared"
# The partitions appear a moment after the disk.
sleep 0.5

card="/media/MY CARD"
mkdir -p "$card"
case "$case" in
  empty-slot) ;;
  read-only) mount -t vfat -o ro /dev/$volume "$card" || echo "vm: mount failed" ;;
  *) mount -t vfat /dev/$volume "$card" || echo "vm: mount failed" ;;
esac
grep vfat /proc/self/mountinfo | sed 's/^/vm: mount /'

export HOME=/root LC_ALL=C.UTF-8 POSIXCOM_REGISTRY=/etc/posixcom
echo "vm: start $case"
setsid cttyhack /opt/fwupgrade/fwupgrade
echo "vm: exit $?"
grep -q " vfat " /proc/mounts && umount "$card"
sync
echo "vm: done"
poweroff -f
