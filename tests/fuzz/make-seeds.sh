#!/usr/bin/env bash
# Regenerates the seed corpora under corpus/: small FAT volumes made by mkfs.fat and mtools
# (test instruments only), the first sectors of the shared images, and what fuzz_seed_maker
# writes from our own fixture builders. Run by hand from a configured build folder:
#   tests/fuzz/make-seeds.sh build
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-build}" && pwd)"
corpus="$here/corpus"
shared="$here/../../../shared/testdata"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1

put() {  # put TARGET NAME FILE
  mkdir -p "$corpus/$1"
  cp "$3" "$corpus/$1/$2"
}

# The image cut after its last sector that holds anything: the rest reads as missing.
trimmed() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
end = len(data)
while end > 512 and not any(data[end - 512:end]):
    end -= 512
open(sys.argv[2], 'wb').write(data[:end])
PY
}

# make_fat NAME SIZE_KIB MKFS_ARGS...: a volume with folders, long names, and deleted entries.
make_fat() {
  local name=$1 size=$2
  shift 2
  local img="$work/$name.img"
  rm -f "$img"
  mkfs.fat -C "$img" "$size" "$@" >/dev/null
  printf 'hello world\n' >"$work/a.txt"
  head -c 3000 /dev/urandom >"$work/b.bin"
  mmd -i "$img" ::/docs ::/docs/deep ::/gone
  mcopy -i "$img" "$work/a.txt" "::/A Long File Name.txt"
  mcopy -i "$img" "$work/b.bin" ::/docs/b.bin
  mcopy -i "$img" "$work/a.txt" ::/docs/deep/note.txt
  mcopy -i "$img" "$work/b.bin" ::/gone/lost.bin
  mcopy -i "$img" "$work/a.txt" ::/removed.txt
  mdel -i "$img" ::/removed.txt
  mdel -i "$img" ::/gone/lost.bin
  mrd -i "$img" ::/gone 2>/dev/null || true
  trimmed "$img" "$work/$name.trim"
  put fat_reader "$name.img" "$work/$name.trim"
  put fat_engine "$name.img" "$work/$name.trim"
}

make_fat fat12 200 -F 12 -s 1 -r 64
make_fat fat16 2100 -F 16 -s 1 -r 64
make_fat fat32 33500 -F 32 -s 1 -f 1

# A FAT16 volume inside an MBR partition (the engine finds it through the volume list).
dd if=/dev/zero of="$work/mbr.img" bs=1k count=2200 status=none
echo 'start=8, type=6' | sfdisk -q "$work/mbr.img"
mkfs.fat -F 16 -s 1 -r 64 --offset 8 "$work/mbr.img" 2096 >/dev/null 2>&1
mcopy -i "$work/mbr.img@@4096" "$work/a.txt" ::/file.txt
trimmed "$work/mbr.img" "$work/mbr.trim"
put fat_engine fat16_in_mbr.img "$work/mbr.trim"

# Boot sectors: FAT12/16/32, an MBR, and a GPT disk's protective MBR and header.
for t in fat12 fat16 fat32; do head -c 1024 "$work/$t.img" >"$work/$t.boot"; put boot_sector "$t.bin" "$work/$t.boot"; done
head -c 1024 "$work/mbr.img" >"$work/mbr.boot"
put boot_sector mbr.bin "$work/mbr.boot"
dd if=/dev/zero of="$work/gpt.img" bs=1k count=1024 status=none
echo 'start=64, size=100, type=0FC63DAF-8483-4772-8E79-3D69D847C47D' | sfdisk -q --label gpt "$work/gpt.img"
head -c 1024 "$work/gpt.img" >"$work/gpt.boot"
put boot_sector gpt.bin "$work/gpt.boot"
dd if="$work/gpt.img" of="$work/gpt_header.bin" bs=512 skip=1 count=1 status=none
put boot_sector gpt_header_alone.bin "$work/gpt_header.bin"

# The first sectors of the shared images, where they are present.
if [ -d "$shared" ]; then
  (gunzip -c "$shared/ntfs3.raw.gz" 2>/dev/null || true) | head -c 1024 >"$work/ntfs3.boot"
  put boot_sector ntfs3.bin "$work/ntfs3.boot"
  (gunzip -c "$shared/fat_unusual_cluster.raw.gz" 2>/dev/null || true) | head -c 1024 >"$work/unusual.boot"
  put boot_sector fat_4096_byte_sectors.bin "$work/unusual.boot"
  (gunzip -c "$shared/fat12.raw.gz" 2>/dev/null || true) | head -c 65536 >"$work/fat12_shared.img"
  put fat_reader fat12_shared_head.img "$work/fat12_shared.img"
  (tar -xOf "$shared/mbr-win-512.raw.tgz" 2>/dev/null || true) | head -c 262144 >"$work/mbr_win.img"
  put partition_search mbr_win_head.img "$work/mbr_win.img"
fi

# The default carving configuration and custom signatures.
put carve_config default.conf "$here/../../calloway/Tarnwell.conf"
printf 'all = off\njpg = on\ncustom = note 4e4f5445 454e44 4K\ncustom = blob 424c4f42 1M\n' >"$work/custom.conf"
put carve_config custom.conf "$work/custom.conf"

cmake --build "$build" --target fuzz_seed_maker >/dev/null
QT_QPA_PLATFORM=offscreen "$build/tests/fuzz/fuzz_seed_maker" "$corpus"
du -sh "$corpus"
