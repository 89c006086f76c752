#!/bin/bash
# Makes the guest that the driver tests boot under QEMU: Debian's kernel
# (downloaded once, unpacked, never installed) and an initramfs holding
# busybox, boxfeed with the libraries it links, the USB serial modules and
# an init that runs the test's script from a second archive.
# Usage: make-guest.sh BUILD_DIR OUT_DIR
set -euo pipefail

build=$(realpath "$1")
out=$(mkdir -p "$2" && realpath "$2")
boxfeed="$build/cli/boxfeed"
[ -x "$boxfeed" ] || { echo "make-guest: no $boxfeed" >&2; exit 1; }

# The kernel package that linux-image-amd64 names.
if [ ! -f "$out/vmlinuz" ]; then
  package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
  [ -n "$package" ] || { echo "make-guest: no kernel package known to apt" >&2; exit 1; }
  rm -rf "$out/kernel" && mkdir -p "$out/kernel"
  (cd "$out/kernel" && apt-get download "$package" >/dev/null 2>&1 && dpkg-deb -x ./*.deb root && rm -f ./*.deb)
  cp "$out"/kernel/root/boot/vmlinuz-* "$out/vmlinuz"
fi
modules=$(ls -d "$out"/kernel/root/lib/modules/*)

root="$out/initramfs"
rm -rf "$root" && mkdir -p "$root"/{bin,dev,proc,sys,tmp,test,lib/modules}
cp /bin/busybox "$root/bin/busybox"
for tool in sh mount insmod sleep cat echo ls sed poweroff stty; do ln -s busybox "$root/bin/$tool"; done
cp "$boxfeed" "$root/bin/boxfeed"
# boxfeed's libraries where its loader looks for them.
ldd "$boxfeed" | awk '/=> \// {print $3} /^[ \t]*\// {print $1}' | while read -r lib; do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
  file=$(find "$modules" -name "$module.ko*" | head -n 1)
  [ -n "$file" ] || { echo "make-guest: no module $module" >&2; exit 1; }
  case "$file" in
    *.xz) xz -dc "$file" >"$root/lib/modules/$module.ko" ;;
    *.zst) zstd -qdc "$file" >"$root/lib/modules/$module.ko" ;;
    *) cp "$file" "$root/lib/modules/$module.ko" ;;
  esac
done

cat >"$root/init" <<'INIT'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
  insmod /lib/modules/$module.ko 2>/dev/null
done
echo "guest: ready"
sh /test/run.sh
echo "guest: exit $?"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$out/base.cpio.gz"
echo "$out"
