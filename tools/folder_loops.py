#!/usr/bin/env python3
"""Folder loops in the core: a folder whose files include a folder that includes it back.

The core's folders are meant to stack, each using only those below it; a loop means two folders
can only be understood (and moved, or split into libraries) together. This lists every folder
edge with the includes that make it, then every loop, and exits 1 when there is one.

    tools/folder_loops.py            # src/core
    tools/folder_loops.py --edges    # the edges as well
"""

import argparse
import itertools
import pathlib
import re
import sys

INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*"core/([^"/]+)/[^"]+"', re.MULTILINE)
SOURCES = (".h", ".cpp")


def folder_edges(core: pathlib.Path) -> dict:
    """(from, to) -> ["file:line", ...] for every include of another folder of the core."""
    edges = {}
    for path in sorted(core.rglob("*")):
        if path.suffix not in SOURCES or path.parent == core:
            continue
        source = path.relative_to(core).parts[0]
        text = path.read_text(encoding="utf-8", errors="replace")
        for match in INCLUDE.finditer(text):
            target = match.group(1)
            if target == source or not (core / target).is_dir():
                continue
            line = text.count("\n", 0, match.start()) + 1
            edges.setdefault((source, target), []).append(f"{path.relative_to(core.parent.parent)}:{line}")
    return edges


def reaches(edges: dict, start: str) -> set:
    seen, todo = set(), [start]
    while todo:
        folder = todo.pop()
        for (source, target) in edges:
            if source == folder and target not in seen:
                seen.add(target)
                todo.append(target)
    return seen


def loops(edges: dict) -> list:
    """Pairs of folders that reach each other, directly or through others."""
    folders = sorted({f for edge in edges for f in edge})
    reach = {folder: reaches(edges, folder) for folder in folders}
    return [(a, b) for a, b in itertools.combinations(folders, 2) if b in reach[a] and a in reach[b]]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=pathlib.Path(__file__).resolve().parent.parent / "src" / "core",
                        type=pathlib.Path, help="the core folder (default: src/core)")
    parser.add_argument("--edges", action="store_true", help="print every folder edge too")
    arguments = parser.parse_args()

    edges = folder_edges(arguments.root)
    if arguments.edges:
        for (source, target), places in sorted(edges.items()):
            print(f"{source} -> {target}  ({len(places)})")
    found = loops(edges)
    for a, b in found:
        print(f"loop: {a} <-> {b}")
        for source, target in ((a, b), (b, a)):
            places = edges.get((source, target))
            if places:
                for place in places:
                    print(f"  {source} -> {target}  {place}")
            else:
                print(f"  {source} -> {target}  through other folders")
    print(f"{len(found)} folder loop(s) in {arguments.root.name}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
