#!/usr/bin/env python3
"""Compares a recovery folder with a fatgen manifest.

usage: check_recovered.py MANIFEST RECOVERED_DIR
Prints one line: 'mdel found/total mdeltree found/total extra N' where found counts the
non-empty deleted files whose exact bytes are among the recovered files, and extra counts
recovered files that match no deleted file of the manifest.
"""
import hashlib
import os
import sys

manifest, folder = sys.argv[1], sys.argv[2]
wanted = {"mdel": [], "mdeltree": []}
deleted_sums = set()
for line in open(manifest, encoding="utf-8"):
    if line.startswith("#"):
        continue
    kind, path, size, digest, deleted, how = line.rstrip("\n").split("\t")
    if kind == "f" and deleted == "1" and int(size) > 0:
        wanted[how].append(digest)
        deleted_sums.add(digest)

recovered = set()
extra = 0
for root, _, files in os.walk(folder):
    for name in files:
        with open(os.path.join(root, name), "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        recovered.add(digest)
        if digest not in deleted_sums:
            extra += 1

counts = []
for how in ("mdel", "mdeltree"):
    found = sum(1 for d in wanted[how] if d in recovered)
    counts.append(f"{how} {found}/{len(wanted[how])}")
print(" ".join(counts) + f" extra {extra}")
