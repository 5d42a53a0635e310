#!/usr/bin/env python3
"""Worst-case stack depth of the module's entry points, from a firmware image.

Reads the per-function frame sizes and call edges the compiler wrote when it generated
the image's code at the link (-fstack-usage, -fcallgraph-info=su with -flto:
IMAGE.ltrans*.ci beside the image), checks that every function of the image has a frame
there, resolves the calls the module makes through tables to the module's own callbacks
where they are known, bounds recursion (the format engine calls itself one level deep)
and prints the deepest path of each root: the image's entry (the library constructors
and the module's entry point under it) and the notifications.

    stack-usage.py [IMAGE] [--goal BYTES]
IMAGE defaults to build/firmware/QuarnPeiPreMem.elf; exit status 1 when the call graph
is missing or incomplete.

Functions appear under the names the image gives them: a copy the optimiser made of a
function (a constant propagated, arguments scalarised, a cold part split off) carries a
suffix such as ".constprop.0"; the rules below name the function and hold for its copies.
"""
import argparse
import glob
import os
import re
import subprocess
import sys

DEFAULT_IMAGE = os.path.join("build", "firmware", "QuarnPeiPreMem.elf")
GOAL = 1536

# Calls through tables that land in the module's own code. A PEI service or PPI call
# (InstallPpi, NotifyPpi, StartupAllAPs) may run a module callback before it returns.
INDIRECT = {
    # NotifyPpi for the MP services PPI runs the sync at once when the PPI is installed.
    "StaticPointerTableOnMemoryDiscovered": ["SyncMm7OnAps"],
    # StartupAllAPs runs the AP procedure (on the APs' own stacks; counted here as if on ours).
    "SyncMm7OnAps": ["LoadMm7OnAp"],
}
ROOTS = ["_ModuleEntryPoint", "StaticPointerTableOnMemoryDiscovered", "SyncMm7OnAps", "LoadMm7OnAp"]
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
NO_CALL_BELOW = {"BasePrintLibSPrintMarker": [(reader, "DebugAssert") for reader in ("ReadUnaligned16", "ReadUnaligned32")]}


CLONE_SUFFIX = re.compile(r"(\.(constprop|isra|part|cold|lto_priv)\.\d+)+$")


def base(name):
    """The function a (possibly cloned) symbol was made from."""
    return CLONE_SUFFIX.sub("", name)


def symbol(title):
    """The symbol of a call-graph node: the title without its temporary object's name."""
    return re.sub(r"^.*\.o:", "", title)


def load(image):
    frames, edges = {}, {}
    node_re = re.compile(r'node: \{ title: "([^"]+)" label: "[^"]*\\n(\d+) bytes')
    edge_re = re.compile(r'edge: \{ sourcename: "([^"]+)" targetname: "([^"]+)"')
    files = sorted(glob.glob(image + ".ltrans*.ci"))
    for path in files:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = node_re.search(line)
                if m:
                    name = symbol(m.group(1))
                    frames[name] = max(frames.get(name, 0), int(m.group(2)))
                    continue
                m = edge_re.search(line)
                if m:
                    edges.setdefault(symbol(m.group(1)), set()).add(symbol(m.group(2)))
    for source, targets in INDIRECT.items():
        edges.setdefault(source, set()).update(targets)
    return frames, edges, len(files)


def image_functions(image):
    """Every function symbol of the linked image."""
    out = subprocess.run(["nm", "--defined-only", image],
                         capture_output=True, text=True, check=True).stdout
    return sorted({line.split()[2] for line in out.splitlines() if line.split()[1] in "tT"})


def deepest(name, frames, edges, visits, caller=None):
    key = base(name)
    if visits.get(key, 0) >= MAX_VISITS.get(key, DEFAULT_VISITS):
        return 0, []
    for above, pairs in NO_CALL_BELOW.items():
        if visits.get(above, 0) > 0 and (base(caller or ""), key) in pairs:
            return 0, []
    for above, banned in NO_NESTING_BELOW.items():
        if visits.get(above, 0) > 0 and key in banned:
            return 0, []
    visits[key] = visits.get(key, 0) + 1
    best, best_path = 0, []
    for callee in sorted(edges.get(name, ())):
        if callee == "__indirect_call":
            continue
        depth, path = deepest(callee, frames, edges, visits, name)
        if depth > best:
            best, best_path = depth, path
    visits[key] -= 1
    own = frames.get(name, 0)
    return own + best, [(name, own)] + best_path


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    parser.add_argument("image", nargs="?", default=DEFAULT_IMAGE, help="the linked image (ELF)")
    parser.add_argument("--goal", type=int, default=GOAL, help="the goal printed beside the worst case")
    args = parser.parse_args(argv)
    frames, edges, count = load(args.image)
    if count == 0:
        print(f"no call graph beside {args.image} ({os.path.basename(args.image)}.ltrans*.ci): build the image first")
        return 1
    missing = [f for f in image_functions(args.image) if f not in frames]
    if missing:
        print("functions of the image without a frame in the call graph: " + ", ".join(missing))
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
    print(f"worst case: {worst} bytes (goal {args.goal})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
