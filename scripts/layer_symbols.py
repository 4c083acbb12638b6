#!/usr/bin/env python3
"""Fails when a layer's library uses a symbol that only a higher layer defines.

The include paths keep a layer from seeing a higher layer's headers, but a
function declared low and defined high still links in the finished program:
the lower layer then calls upward through the linker. Usage:
layer_symbols.py BUILD_DIR layer...   (the layers lowest first)
"""
import subprocess
import sys


def symbols(library):
    out = subprocess.run(["nm", library], capture_output=True, text=True, check=True).stdout
    used, defined = set(), set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 2 and parts[0] == "U":
            used.add(parts[1])
        elif len(parts) == 3 and parts[1] not in "Uvw":
            defined.add(parts[2])
    return used, defined


def main():
    build, layers = sys.argv[1], sys.argv[2:]
    tables = [symbols(f"{build}/libvt_{layer}.a") for layer in layers]
    lowest = {}
    for i, (_, defined) in enumerate(tables):
        for s in defined:
            lowest.setdefault(s, i)
    faults = []
    for i, (used, _) in enumerate(tables):
        for s in sorted(used):
            if lowest.get(s, -1) > i:
                name = subprocess.run(["c++filt", s], capture_output=True, text=True).stdout.strip()
                faults.append(f"{layers[i]} uses {name}, defined only in {layers[lowest[s]]}")
    print("\n".join(faults) if faults else f"{len(layers)} layers: no upward symbol")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
