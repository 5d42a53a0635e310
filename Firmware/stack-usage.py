#!/usr/bin/env python3
"""Worst-case stack depth of the module's entry points, from a firmware image.

Reads the per-function frame sizes and call edges the compiler wrote when it generated
the image's code at the link (-fstack-usage, -fcallgraph-info=su with -flto:
IMAGE.ltrans*.ci beside the image), checks that every function of the image has a frame
there, resolves the calls the module makes through tables to the module's own callbacks
where they are known, bounds recursion (the format engine calls itself one level deep)
and prints the deepest path of each root: the image's entry (the library constructors
and the module's entry point under it) and the notifications.

    stack-usage.py [IMAGE] [--goal BYTES] [--call-graph PREFIX]
IMAGE defaults to build/firmware/QuarnPeiPreMem.elf; the call graph is PREFIX.ltrans*.ci,
PREFIX by default the image (the framework's build links a .dll and keeps a copy of it
with its symbols as .debug: there PREFIX is the .dll). Exit status 1 when the call graph
is missing or incomplete.

Assembly routines (the framework's libraries have some) have no frame in the call graph:
their depth is read from their instructions (pushes, pops, stack adjustments; they call
nothing), plus the return address.

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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import image_code  # noqa: E402 (a module of this folder: after sys.path names it)

DEFAULT_IMAGE = os.path.join("build", "firmware", "QuarnPeiPreMem.elf")

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


def load(prefix):
    frames, edges = {}, {}
    node_re = re.compile(r'node: \{ title: "([^"]+)" label: "[^"]*\\n(\d+) bytes')
    edge_re = re.compile(r'edge: \{ sourcename: "([^"]+)" targetname: "([^"]+)"')
    files = sorted(glob.glob(prefix + ".ltrans*.ci"))
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


def assembly_depth(routine):
    """Deepest stack of an assembly routine, its return address included."""
    depth = deepest_seen = 0
    frame_base = None
    for address, insn in routine.instructions:
        mnemonic, _, operands = insn.partition(" ")
        operands = operands.strip()
        if mnemonic.startswith("call"):
            raise image_code.CodeError(f"assembly routine {routine.name} calls ({address:#x}: {insn}): not analysed")
        if mnemonic in ("push", "pushl", "pushf", "pushfl"):
            depth += 4
        elif mnemonic in ("pop", "popl", "popf", "popfl"):
            depth -= 4
        elif mnemonic in ("pusha", "pushal"):
            depth += 32
        elif mnemonic in ("popa", "popal"):
            depth -= 32
        elif mnemonic == "mov" and operands == "%esp,%ebp":
            frame_base = depth
        elif mnemonic == "leave" and frame_base is not None:
            depth = frame_base - 4
        elif (m := re.fullmatch(r"(sub|add)l?\s+\$(0x[0-9a-f]+|\d+),%esp", insn)):
            depth += int(m.group(2), 0) * (1 if m.group(1) == "sub" else -1)
        elif re.search(r",%esp$", operands) or mnemonic == "leave":
            raise image_code.CodeError(f"assembly routine {routine.name} sets %esp ({address:#x}: {insn}): not analysed")
        deepest_seen = max(deepest_seen, depth)
    return deepest_seen + 4


def demangled(names):
    """{symbol: its C++ name} for the mangled symbols among NAMES (clone suffixes kept)."""
    mangled = sorted(n for n in names if n.startswith("_Z"))
    if not mangled:
        return {}
    out = subprocess.run(["c++filt"], input="\n".join(mangled), capture_output=True, text=True).stdout
    return dict(zip(mangled, out.splitlines())) if out else {}


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
    parser.add_argument("--goal", type=int, help="a goal to print beside the worst case")
    parser.add_argument("--call-graph", help="PREFIX of the call-graph files PREFIX.ltrans*.ci (default: IMAGE)")
    args = parser.parse_args(argv)
    prefix = args.call_graph or args.image
    frames, edges, count = load(prefix)
    if count == 0:
        print(f"no call graph at {prefix}.ltrans*.ci: build the image first")
        return 1
    try:
        routines = image_code.routines(args.image)
        for routine in routines:
            if routine.assembly and routine.name not in frames:
                frames[routine.name] = assembly_depth(routine)
    except image_code.CodeError as error:
        print(error)
        return 1
    missing = [r.name for r in routines if r.name not in frames]
    if missing:
        print("functions of the image without a frame in the call graph: " + ", ".join(missing))
        return 1
    worst = 0
    readable = demangled(frames)
    for root in ROOTS:
        if root not in frames:
            print(f"{root}: not in the image")
            continue
        depth, path = deepest(root, frames, edges, {})
        worst = max(worst, depth)
        print(f"{root}: {depth} bytes")
        print("    " + " -> ".join(f"{readable.get(n, n)}({b})" for n, b in path))
    print(f"worst case: {worst} bytes" + (f" (goal {args.goal})" if args.goal else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
