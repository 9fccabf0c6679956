#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# mmdebstrap's customize hook for the whole-system test's machine (see image.sh):
#
#   image-customize.sh setup|customize ROOT
#
# setup, before the packages: a small initramfs with what the machine boots from (virtio
# disk, ext4), made quickly.
# customize, after them:
# The root file system on /dev/vda; the test's share (9p, tag "share") on /mnt/share; a
# unit that runs /mnt/share/guest.sh at each boot; a persistent journal that also goes to
# the serial console; root without a password on the console; nothing started at boot
# that the test does not need (the machine may run without KVM, where each costs).
set -eu
root=$2

if [ "$1" = setup ]; then
    mkdir -p "$root/etc/initramfs-tools/conf.d" "$root/etc/initramfs-tools/hooks"
    echo MODULES=list >"$root/etc/initramfs-tools/conf.d/system-test.conf"
    cat >"$root/etc/initramfs-tools/hooks/system-test" <<'HOOK'
#!/bin/sh
case $1 in prereqs) exit 0 ;; esac
. /usr/share/initramfs-tools/hook-functions
manual_add_modules virtio_pci virtio_blk ext4 crc32c_generic
HOOK
    chmod +x "$root/etc/initramfs-tools/hooks/system-test"
    exit 0
fi

echo nocturo-vm >"$root/etc/hostname"
printf '127.0.1.1\tnocturo-vm\n' >>"$root/etc/hosts"
cat >"$root/etc/fstab" <<'FSTAB'
/dev/vda  /           ext4  rw,errors=remount-ro  0 1
share     /mnt/share  9p    trans=virtio,version=9p2000.L,msize=262144,nofail  0 0
FSTAB
mkdir -p "$root/mnt/share" "$root/var/log/journal" "$root/etc/systemd/journald.conf.d"
cat >"$root/etc/systemd/journald.conf.d/console.conf" <<'CONF'
[Journal]
Storage=persistent
ForwardToConsole=yes
TTYPath=/dev/ttyS0
MaxLevelConsole=info
CONF

cat >"$root/etc/systemd/system/system-test.service" <<'UNIT'
[Unit]
Description=Whole-system test: the scenarios of /mnt/share/guest.sh
RequiresMountsFor=/mnt/share
After=multi-user.target
ConditionPathExists=/mnt/share/guest.sh

[Service]
Type=exec
ExecStart=/bin/sh /mnt/share/guest.sh
StandardOutput=journal+console
StandardError=journal+console

[Install]
WantedBy=multi-user.target
UNIT
chroot "$root" systemctl enable system-test.service
chroot "$root" systemctl mask apt-daily.timer apt-daily-upgrade.timer getty@tty1.service \
    systemd-timesyncd.service modprobe@loop.service modprobe@dm_mod.service \
    modprobe@fuse.service modprobe@drm.service sys-kernel-debug.mount \
    sys-kernel-tracing.mount 2>/dev/null || true
chroot "$root" systemctl set-default multi-user.target
chroot "$root" passwd -d root >/dev/null
