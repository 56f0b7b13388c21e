#!/usr/bin/env bash
# The kernel test: boots Debian's own kernel in a small virtual machine (QEMU, software
# emulation) with SCSI CD/DVD drives whose identification we choose, runs varden-cli and the
# test-only probe against them as three users in both languages, and compares what they print,
# which device nodes they open, with which flags, and which commands they send, with the
# expected outputs in tests/kernel/expected.
#
# Usage: scripts/kernel-test.sh [--update] [--kvm] [--build DIR]
#   --update   write the outputs of this run as the expected outputs (review them with git diff)
#   --kvm      use KVM instead of software emulation
#   --build    the build folder that holds the programs (default: build)
# Exit status: 0 passed, 1 failed, 77 skipped (this machine cannot run the virtual machine).
# The kernel package is kept in ${XDG_CACHE_HOME:-~/.cache}/varden/kernel; /boot is not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

update=0
accel=tcg
build=build
while [ $# -gt 0 ]; do
  case "$1" in
    --update) update=1 ;;
    --kvm) accel=kvm ;;
    --build) build=$2; shift ;;
    *) echo "usage: $0 [--update] [--kvm] [--build DIR]" >&2; exit 2 ;;
  esac
  shift
done

skip() {
  echo "kernel test SKIPPED: $*" >&2
  exit 77
}
fail() {
  echo "kernel test FAILED: $*" >&2
  exit 1
}

# The drives, one per SCSI target of the machine's LSI 53C895A adapter; target N is /dev/srN,
# the drive letter D plus N. Medium: dvd, cd or none. QEMU takes a DVD or a CD from the size.
drives=(
  "0|MERIDAX|DVD-ROM SR-8178|dvd"  # D: listed, a DVD in it
  "1|MERIDAX|DVD-ROM SR-8178|none" # E: listed, no disc
  "2|MERIDAX|DVD-ROM SR-8178|cd"   # F: listed, a CD in it
  "3|KORVATH|DVD-ROM KV-1624|dvd"  # G: another maker's drive, never listed
  "4|meridax|DVD-ROM SR-8178|dvd"  # H: the maker's name in other letter case, never listed
  "5|Meridax|DVD-ROM SR-8178|none" # I: the maker's mixed-case identification, listed
)
dvd_blocks=2295104
cd_blocks=332800
block_size=2048

# The cases, each "name|user|language|program and arguments". Users: root, member (in group
# cdrom), outsider (not in it). Languages: en (LANG=C), ja (LANG=ja_JP.UTF-8).
cases=()
for user in root member outsider; do
  for lang in en ja; do
    cases+=("$user-$lang-list|$user|$lang|varden-cli list")
    for letter in D E F I; do
      cases+=("$user-$lang-report-$letter|$user|$lang|varden-cli report $letter")
    done
    cases+=("$user-$lang-report-json|$user|$lang|varden-cli --json report E")
    cases+=("$user-$lang-set|$user|$lang|varden-cli --yes set D 2")
  done
done
# The change through the probe: SEND KEY to the drive with a DVD; the disc prompt of the
# drive without one, cancelled at once and after two OKs.
cases+=(
  "probe-root-en-set-D|root|en|varden-kernel-probe D 2"
  "probe-root-en-set-E-cancel|root|en|varden-kernel-probe E 2 cancel"
  "probe-root-en-set-E-ok-ok-cancel|root|en|varden-kernel-probe E 2 ok ok cancel"
  "probe-root-ja-set-D|root|ja|varden-kernel-probe D 2"
  "probe-root-ja-set-E-ok-ok-cancel|root|ja|varden-kernel-probe E 2 ok ok cancel"
  "probe-member-en-set-D|member|en|varden-kernel-probe D 2"
)

# ---- What the test needs ------------------------------------------------------------------

packages=(qemu-system-x86 busybox-static cpio strace locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo -n); else sudo=(); fi
  echo "Installing: ${missing[*]}"
  if ! { "${sudo[@]}" apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -q \
      --no-install-recommends "${missing[@]}"; }; then
    skip "cannot install ${missing[*]}"
  fi
fi
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed"
if [ "$accel" = kvm ] && [ ! -w /dev/kvm ]; then skip "--kvm asked for, but /dev/kvm is not usable"; fi

# Debian's kernel, unpacked into the cache: the kernel image and the modules of the adapter
# and the CD/DVD drive, loaded in this order (each after the modules it depends on).
modules=(scsi_common scsi_mod scsi_transport_spi sym53c8xx cdrom sr_mod sg)
cache=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/varden/kernel
package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
[ -n "$package" ] || skip "apt knows no linux-image-amd64 package"
kernel_dir=$cache/$package
if [ ! -f "$kernel_dir/vmlinuz" ]; then
  mkdir -p "$cache" && rm -rf "$kernel_dir.tmp" && mkdir -p "$kernel_dir.tmp"
  (cd "$cache" && rm -f "$package"_*.deb && apt-get download -q "$package") ||
    skip "cannot download $package"
  patterns=('./boot/vmlinuz-*')
  for m in "${modules[@]}"; do patterns+=("*/$m.ko"); done
  dpkg-deb --fsys-tarfile "$cache/$package"_*.deb |
    tar -x -C "$kernel_dir.tmp" --wildcards "${patterns[@]}"
  mkdir -p "$kernel_dir.tmp/modules"
  mv "$kernel_dir.tmp"/boot/vmlinuz-* "$kernel_dir.tmp/vmlinuz"
  find "$kernel_dir.tmp/lib" -name '*.ko' -exec mv {} "$kernel_dir.tmp/modules/" \;
  rm -rf "$kernel_dir.tmp/lib" "$kernel_dir.tmp/boot" "$cache/$package"_*.deb
  rm -rf "$kernel_dir" && mv "$kernel_dir.tmp" "$kernel_dir"
fi

# The programs, statically linked, and the Japanese locale they read.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARDEN_QT=OFF -DVARDEN_BENCHMARKS=OFF
fi
cmake --build "$build" -j"$(nproc)" --target varden-cli-static varden-kernel-probe
locale_dir=$cache/locale/ja_JP.UTF-8
if [ ! -f "$locale_dir/LC_CTYPE" ]; then
  mkdir -p "$cache/locale"
  localedef -i ja_JP -f UTF-8 "$locale_dir" || [ -f "$locale_dir/LC_CTYPE" ] ||
    fail "cannot compile the ja_JP.UTF-8 locale"
fi

# ---- The machine's initramfs ----------------------------------------------------------------

work=$(realpath "$build")/kernel/vm
rm -rf "$work" && mkdir -p "$work/root"/{bin,etc,proc,sys,dev,tmp,out,modules,usr/lib/locale}
root=$work/root
cp /bin/busybox "$root/bin/busybox"
cp -r "$locale_dir" "$root/usr/lib/locale/"
strip -o "$root/bin/varden-cli" "$build/kernel/varden-cli-static"
strip -o "$root/bin/varden-kernel-probe" "$build/kernel/varden-kernel-probe"
# strace with the shared libraries it loads.
cp /usr/bin/strace "$root/bin/"
for lib in $(ldd /usr/bin/strace | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$lib")" && cp -L "$lib" "$root$lib"
done
for m in "${modules[@]}"; do cp "$kernel_dir/modules/$m.ko" "$root/modules/"; done
chmod 1777 "$root/tmp"
printf '%s\n' 'root:x:0:0:root:/tmp:/bin/sh' 'member:x:1000:1000::/tmp:/bin/sh' \
  'outsider:x:1001:1001::/tmp:/bin/sh' >"$root/etc/passwd"
printf '%s\n' 'root:x:0:' 'cdrom:x:24:member' 'member:x:1000:' 'outsider:x:1001:' >"$root/etc/group"

# What the machine's init reads: the modules in load order, the device nodes of the drives,
# the cases.
printf '%s\n' "${modules[@]}" >"$root/modules/order"
for d in "${drives[@]}"; do echo "/dev/sr${d%%|*}"; done >"$root/etc/drives"
printf '%s\n' "${cases[@]}" >"$root/etc/cases"
cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
up() { echo "$(cut -d' ' -f1 /proc/uptime) s: $*" >/dev/console; }
up "the test machine is up"
while read -r module; do
  insmod "/modules/$module.ko" || up "insmod $module failed"
done </modules/order
# The drives appear as the adapter's bus is scanned: wait for them, at most 60 seconds.
tenths=0
while read -r node; do
  while [ ! -e "$node" ] && [ $tenths -lt 600 ]; do sleep 0.1; tenths=$((tenths + 1)); done
done </etc/drives
# The nodes as Debian's udev makes them.
chgrp cdrom /dev/sr* /dev/sg*
chmod 0660 /dev/sr* /dev/sg*
up "the drives are there"
# Each case as its user, under strace, in the case's language, with no standard input.
while IFS='|' read -r name user lang command; do
  if [ "$lang" = ja ]; then locale=ja_JP.UTF-8; else locale=C; fi
  su -s /bin/sh "$user" -c "cd /tmp; LANG=$locale strace -qq -e trace=open,openat,close,ioctl \
    -e signal=none -o $name.trace $command >$name.out 2>$name.err; echo \$? >$name.status" \
    </dev/null
  cp "/tmp/$name".* /out/
done </etc/cases
up "the cases have run"
# The outputs through the second serial port, compressed, then an end mark.
stty -F /dev/ttyS1 raw -echo
tar -C /out -c . | gzip | base64 >/dev/ttyS1
echo VARDEN-END >/dev/ttyS1
sync
poweroff -f
EOF
chmod 755 "$root/init"
(cd "$root" && find . | cpio -o -H newc -R 0:0 --quiet >"$work/initramfs.cpio")

# ---- The machine ---------------------------------------------------------------------------

qemu=(qemu-system-x86_64 -accel "$accel" -m 512 -smp 1 -display none -no-reboot -nodefaults
      -kernel "$kernel_dir/vmlinuz" -initrd "$work/initramfs.cpio"
      -append "console=ttyS0 panic=-1 quiet loglevel=4"
      -serial "file:$work/console.log" -serial "file:$work/outputs.b64"
      -device lsi53c895a,id=scsi0)
truncate -s $((dvd_blocks * block_size)) "$work/dvd.img"
truncate -s $((cd_blocks * block_size)) "$work/cd.img"
for d in "${drives[@]}"; do
  IFS='|' read -r target vendor product medium <<<"$d"
  case "$medium" in
    none) qemu+=(-drive "if=none,id=cd$target,media=cdrom") ;;
    *) qemu+=(-drive "if=none,id=cd$target,media=cdrom,format=raw,readonly=on,file=$work/$medium.img") ;;
  esac
  qemu+=(-device "scsi-cd,bus=scsi0.0,scsi-id=$target,drive=cd$target,vendor=$vendor,product=$product")
done

echo "Booting the test machine ($accel)..."
started=$SECONDS
status=0
timeout 300 "${qemu[@]}" </dev/null 2>"$work/qemu.log" || status=$?
echo "The machine ran for $((SECONDS - started)) s."
if [ $status -eq 124 ]; then fail "the machine did not power off within 300 s (see $work/console.log)"; fi
if [ $status -ne 0 ] && [ ! -s "$work/console.log" ]; then
  cat "$work/qemu.log" >&2
  skip "QEMU cannot run a machine here (exit status $status)"
fi
[ $status -eq 0 ] || fail "QEMU ended with status $status (see $work/console.log, $work/qemu.log)"
grep -q VARDEN-END "$work/outputs.b64" || fail "no outputs came back (see $work/console.log)"
mkdir -p "$work/outputs"
sed '/VARDEN-END/,$d' "$work/outputs.b64" | base64 -di | tar -xz -C "$work/outputs"

# ---- Comparison ----------------------------------------------------------------------------

# The device nodes in a program's system calls (strace's record): each open of a /dev path
# with its flags and answer (a run of opens failing alike on one line), on each open node the
# ioctl requests, for SG_IO the command bytes, the direction, the data sent to the drive and
# the kernel's answer (SCSI status, sense key/ASC/ASCQ), then whether it was closed; at the
# end, the most nodes open at once and the nodes left open.
summarize_trace() {
  awk '
    function bytes(field,   m, s) {
      if (!match($0, field "=\"[^\"]*\"")) return ""
      s = substr($0, RSTART + length(field) + 2, RLENGTH - length(field) - 3)
      gsub(/\\x/, " ", s); sub(/^ /, "", s); return s
    }
    function value(field) {
      return match($0, field "=[^,}]*") ? substr($0, RSTART + length(field) + 1, RLENGTH - length(field) - 1) : ""
    }
    function flush() {
      if (run_first == "") return
      print "open " run_first (run_last != run_first ? " to " run_last : "") " " run_what
      run_first = ""
    }
    /^openat\(AT_FDCWD, "\/dev\// {
      match($0, /"[^"]*"/); path = substr($0, RSTART + 1, RLENGTH - 2)
      match($0, /", [^)]*\)/); flags = substr($0, RSTART + 3, RLENGTH - 4)
      result = $0; sub(/.*\) = /, "", result); sub(/ \(.*/, "", result)
      if (result ~ /^-1/) {
        what = flags ": " substr(result, 4)
        if (run_first != "" && what == run_what) { run_last = path; next }
        flush(); run_first = path; run_last = path; run_what = what; next
      }
      flush(); print "open " path " " flags; node[result] = path
      if (++open_now > most) most = open_now
      next
    }
    /^(ioctl|close)\(/ {
      fd = $0; sub(/^[a-z]*\(/, "", fd); sub(/[,)].*/, "", fd)
      if (!(fd in node)) next
      if ($0 ~ /^close/) { print "  close"; delete node[fd]; open_now--; next }
      request = $0; sub(/^ioctl\([0-9]+, /, "", request); sub(/,.*/, "", request)
      sub(/.* or /, "", request)
      result = $0; sub(/.*\) += /, "", result)
      if (request != "SG_IO") { print "  " request (result == "0" ? "" : " = " result); next }
      direction = value("dxfer_direction"); sub(/SG_DXFER_/, "", direction)
      line = "  SG_IO cdb " bytes("cmdp") ", " tolower(direction) " " value("dxfer_len") \
        ", " value("timeout") " ms"
      if (direction == "TO_DEV") line = line " [" bytes("dxferp") "]"
      line = line ": status " value("status")
      split(bytes("sbp"), sense, " ")
      if (value("sb_len_wr") + 0 > 0) line = line ", sense " sense[3] "/" sense[13] "/" sense[14]
      if (value("host_status") != "0") line = line ", host status " value("host_status")
      print line (result == "0" ? "" : " = " result)
    }
    END {
      flush()
      print "most open at once: " most + 0
      left = ""; for (fd in node) left = left " " node[fd]
      print "left open:" (left == "" ? " none" : left)
    }' "$1"
}

# What a case shows: standard output, standard error, the exit status, then each device node
# it opened (flags, answer, the ioctl requests on it with each SG_IO command's operation code,
# whether it was closed), how many were open at once at most, and how many stayed open.
actual=$work/actual
expected=$source_dir/tests/kernel/expected
mkdir -p "$actual"
for c in "${cases[@]}"; do
  name=${c%%|*}
  o=$work/outputs/$name
  [ -f "$o.status" ] || fail "case $name did not run (see $work/console.log)"
  {
    echo "== standard output"; cat "$o.out"
    echo "== standard error"; cat "$o.err"
    echo "== exit status $(cat "$o.status")"
    echo "== device nodes"
    summarize_trace "$o.trace"
  } >"$actual/$name.txt"
done

if [ $update = 1 ]; then
  rm -rf "$expected" && mkdir -p "$expected" && cp "$actual"/*.txt "$expected/"
  echo "Expected outputs written to tests/kernel/expected; review them with git diff."
  exit 0
fi
failed=0
for c in "${cases[@]}"; do
  name=${c%%|*}
  if ! diff -u "$expected/$name.txt" "$actual/$name.txt"; then failed=$((failed + 1)); fi
done
[ $failed -eq 0 ] || fail "$failed of ${#cases[@]} cases differ from tests/kernel/expected"
echo "kernel test passed: ${#cases[@]} cases, $SECONDS s in all."
