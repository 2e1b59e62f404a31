#!/usr/bin/env python3
"""Folder loops in src/core: pairs of folders that include each other, with one include each way."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src/core")
include = re.compile(r'#include "core/([^/"]+)/')
edges = {}
for path in root.rglob("*"):
    if path.suffix not in (".h", ".cpp") or path.parent == root:
        continue
    folder = path.relative_to(root).parts[0]
    for target in include.findall(path.read_text(errors="replace")):
        if target != folder:
            edges.setdefault((folder, target), str(path))
loops = sorted({tuple(sorted(pair)) for pair in edges if (pair[1], pair[0]) in edges})
for a, b in loops:
    print(f"{a} <-> {b}: {edges[(a, b)]} / {edges[(b, a)]}")
print(f"{len(loops)} folder loops")
