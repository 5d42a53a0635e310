#!/usr/bin/env python3
"""Worst-case stack depth of the module's entry points, from the firmware build.

Reads the per-function frame sizes and call edges the compiler wrote (-fstack-usage,
-fcallgraph-info=su: one .ci file per object), resolves the calls the module makes
through tables to the module's own callbacks where they are known, bounds recursion
(the format engine calls itself one level deep) and prints the deepest path of each root.
"""
import glob
import os
import re
import sys

# Calls through tables that land in the module's own code. A PEI service or PPI call
# (InstallPpi, NotifyPpi, StartupAllAPs) may run a module callback before it returns.
INDIRECT = {
    # NotifyPpi for the MP services PPI runs the sync at once when the PPI is installed.
    "StaticPointerTableOnMemoryDiscovered": ["SyncMm7OnAps"],
    # StartupAllAPs runs the AP procedure (on the APs' own stacks; counted here as if on ours).
    "SyncMm7OnAps": ["LoadMm7OnAp"],
}
ROOTS = ["QuarnPeiPreMemEntryPoint", "StaticPointerTableOnMemoryDiscovered", "SyncMm7OnAps", "LoadMm7OnAp"]
# How often a function may appear on one path. The format engine renders GUIDs, times
# and unnamed statuses through one nested call of itself; nothing else recurses. An
# assertion raised while an assertion line is formatted would need a zero divisor in the
# engine's own digit loop, which only ever divides by 10 or 16: DebugAssert appears once.
MAX_VISITS = {"BasePrintLibSPrintMarker": 2, "BasePrintLibSPrint": 1}
DEFAULT_VISITS = 1
# Calls that cannot happen below a function on the path:
# - the assertion line ("ASSERT [%a] %a(%d): %a\n") has no directive that renders through
#   the nested call, so below DebugAssert the engine does not call itself;
# - the engine's digit loop divides by 10 or 16 only, so the division's zero-divisor check
#   cannot fail below BasePrintLibValueToString.
# - the engine reads a GUID's or a time's fields only after it has found the pointer
#   non-null, so the unaligned reads' null check cannot fail below the engine.
NO_NESTING_BELOW = {"DebugAssert": ["BasePrintLibSPrint"], "BasePrintLibValueToString": ["DebugAssert"]}
NO_CALL_BELOW = {"BasePrintLibSPrintMarker": [("ReadUnaligned16", "DebugAssert"), ("ReadUnaligned32", "DebugAssert")]}


def load(build_dir):
    frames, edges = {}, {}
    node_re = re.compile(r'node: \{ title: "([^"]+)" label: "[^"]*\\n(\d+) bytes')
    edge_re = re.compile(r'edge: \{ sourcename: "([^"]+)" targetname: "([^"]+)"')
    files = glob.glob(os.path.join(build_dir, "**", "*.ci"), recursive=True)
    for path in files:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = node_re.search(line)
                if m:
                    frames[m.group(1)] = max(frames.get(m.group(1), 0), int(m.group(2)))
                    continue
                m = edge_re.search(line)
                if m:
                    edges.setdefault(m.group(1), set()).add(m.group(2))
    for source, targets in INDIRECT.items():
        edges.setdefault(source, set()).update(targets)
    return frames, edges, len(files)


def deepest(name, frames, edges, visits, caller=None):
    if visits.get(name, 0) >= MAX_VISITS.get(name, DEFAULT_VISITS):
        return 0, []
    for above, pairs in NO_CALL_BELOW.items():
        if visits.get(above, 0) > 0 and (caller, name) in pairs:
            return 0, []
    for above, banned in NO_NESTING_BELOW.items():
        if visits.get(above, 0) > 0 and name in banned:
            return 0, []
    visits[name] = visits.get(name, 0) + 1
    best, best_path = 0, []
    for callee in sorted(edges.get(name, ())):
        if callee == "__indirect_call":
            continue
        depth, path = deepest(callee, frames, edges, visits, name)
        if depth > best:
            best, best_path = depth, path
    visits[name] -= 1
    own = frames.get(name, 0)
    return own + best, [(name, own)] + best_path


def main():
    build_dir = sys.argv[1] if len(sys.argv) > 1 else "build/firmware"
    frames, edges, count = load(build_dir)
    if count == 0:
        print(f"no call graph files under {build_dir}: build the firmware preset first")
        return 1
    worst = 0
    for root in ROOTS:
        if root not in frames:
            print(f"{root}: not in the image")
            continue
        depth, path = deepest(root, frames, edges, {})
        worst = max(worst, depth)
        print(f"{root}: {depth} bytes")
        print("    " + " -> ".join(f"{n}({b})" for n, b in path))
    print(f"worst case: {worst} bytes (goal 1536)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
