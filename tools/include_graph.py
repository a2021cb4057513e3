#!/usr/bin/env python3
"""Reports circles of files and includes that run from a lower layer up.

A file and its header count as one unit. Each folder of src/ belongs to one
layer, the first part of its path (LAYERS below, lowest first); a unit may
include its own folder, its layer's other folders and any folder of a layer
below. Every include of a file of src/ names it by its path from src/
("core/settings/settings.h"). Exits 1 when it finds a circle, an upward
include or an include by another name.

    tools/include_graph.py [src]
"""
import os
import re
import sys

LAYERS = [
    ("core", ["core/async", "core/text", "core/ini", "core/settings", "core/httpq", "core/face",
              "core/playlist", "core/mpris", "core/cli"]),
    ("platform", ["platform/transport", "platform/window", "platform/widgets",
                  "platform/browser", "platform/session", "platform/webengine"]),
    ("services", ["services/httpq"]),
    ("windows", ["windows/systray", "windows/playlist", "windows/settings_dialog", "windows/bar"]),
    ("desktop", ["desktop/mpris"]),
    ("program", ["program"]),
]
# Within these layers a folder may include only those listed before it.
ORDERED_LAYERS = {"windows", "core"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    root = os.path.normpath(root)
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            if name.endswith((".h", ".cpp")):
                path = os.path.relpath(os.path.join(folder, name), root)
                with open(os.path.join(root, path), encoding="utf-8") as f:
                    files[path] = INCLUDE.findall(f.read())
    by_name = {}
    for path in files:
        by_name.setdefault(os.path.basename(path), []).append(path)

    problems = 0

    def resolve(includer, target):
        nonlocal problems
        if target in files:
            return target
        found = [p for p in by_name.get(os.path.basename(target), []) if p.endswith(target)]
        if len(found) == 1:
            problems += 1
            print(f"not by its path: {includer} includes \"{target}\" for {found[0]}")
            return found[0]
        return None

    unit = lambda path: os.path.splitext(path)[0]
    edges = {}
    for path, targets in files.items():
        for target in targets:
            resolved = resolve(path, target)
            if resolved and unit(resolved) != unit(path):
                edges.setdefault(unit(path), set()).add(unit(resolved))
            edges.setdefault(unit(path), set())

    for circle in circles(edges):
        problems += 1
        print("circle:", " ".join(sorted(circle)))

    rank = {}
    for layer_index, (layer, folders) in enumerate(LAYERS):
        for order, folder in enumerate(folders):
            rank[folder] = (layer_index, order if layer in ORDERED_LAYERS else 0)

    def place(u):
        folder = os.path.dirname(u)
        while folder and folder not in rank:
            folder = os.path.dirname(folder)
        return folder, rank.get(folder)

    for source in sorted(edges):
        for target in sorted(edges[source]):
            (f1, r1), (f2, r2) = place(source), place(target)
            if r1 is None or r2 is None:
                problems += 1
                print("no layer:", source if r1 is None else target)
            elif f1 != f2 and r2 > r1:
                problems += 1
                print(f"upward: {source} -> {target}")
    print(f"{len(edges)} units, {problems} problems")
    return 1 if problems else 0


def circles(edges):
    """Strongly connected components of more than one unit (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    sys.setrecursionlimit(10000)

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in edges.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                found.append(component)

    for v in list(edges):
        if v not in index:
            visit(v)
    return found


if __name__ == "__main__":
    sys.exit(main())
