#!/usr/bin/env bash
# Makes the demo disk: an MBR disk image of 96 MiB with a FAT32, a FAT16 and an NTFS partition,
# files copied in and some of them deleted again, so that a scan has something to find.
#   make-demo-disk.sh OUTPUT.img [MAKE_DEMO_NTFS]
# MAKE_DEMO_NTFS is the built tool that writes the NTFS volume (build/tools/demo/make_demo_ntfs).
set -euo pipefail
out=${1:?usage: make-demo-disk.sh OUTPUT.img [MAKE_DEMO_NTFS]}
make_ntfs=${2:-$(dirname "$0")/../../build/tools/demo/make_demo_ntfs}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
img="$work/disk.img"

truncate -s 96M "$img"
sfdisk --quiet "$img" <<'TABLE'
label: dos
label-id: 0x7e3a91c2
start=2048, size=81920, type=c
start=83968, size=40960, type=6
start=124928, size=65536, type=7
TABLE

fat32_offset=2048
fat16_offset=83968
# mkfs.fat counts in KiB; it warns that the image goes on past the partition, which is meant.
mkfs.fat -F 32 -s 1 -n DEMO32 --offset=$fat32_offset "$img" 40960 >/dev/null 2>&1
mkfs.fat -F 16 -n DEMO16 --offset=$fat16_offset "$img" 20480 >/dev/null 2>&1

# Some content: text, binary data and folders.
mkdir -p "$work/files/Photos/2024" "$work/files/Documents"
for i in 1 2 3 4 5; do
  head -c $((40000 + i * 7000)) /dev/urandom > "$work/files/Photos/2024/holiday-$i.jpg"
done
for i in 1 2 3; do
  for ((n = 1; n <= 200 * i; n++)); do echo "Line $n of quarterly report $i, kept for the demo."; done \
    > "$work/files/Documents/report-$i.txt"
done
printf 'Shopping list\n- bread\n- milk\n' > "$work/files/notes.txt"

m32="$img@@$((fat32_offset * 512))"
m16="$img@@$((fat16_offset * 512))"
export MTOOLS_SKIP_CHECK=1
for m in "$m32" "$m16"; do
  mcopy -s -i "$m" "$work/files/Photos" "$work/files/Documents" "$work/files/notes.txt" ::/
done
# Deleted: a few photos, a whole folder, and a file in the root.
mdel -i "$m32" ::/Photos/2024/holiday-2.jpg ::/Photos/2024/holiday-4.jpg
mdeltree -i "$m32" ::/Documents
mdel -i "$m16" ::/notes.txt ::/Documents/report-2.txt

ntfs_offset=124928
"$make_ntfs" "$work/ntfs.img" $((65536 * 512))
dd if="$work/ntfs.img" of="$img" bs=512 seek=$ntfs_offset conv=notrunc status=none

mkdir -p "$(dirname "$out")"
mv "$img" "$out"
echo "demo disk: $out"
