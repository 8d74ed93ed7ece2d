#!/usr/bin/env python3
"""The shape of the source tree, as the build declares it.

Each folder of src/ is one layer; src/CMakeLists.txt says which layers it may use
(tavex_subsystem(NAME DEPS ...)). This check fails when
- a file includes a header of a layer that its own layer does not depend on, directly or
  through another (an include that points up or sideways),
- two source files of one folder each include the other's header (two files calling each
  other, where one should sit below the other),
- a source file and its header together are over 600 lines.
The front ends (cli, app), the test helpers and the tests themselves may use every layer.

  tests/source_layers.py SOURCE_DIR
"""
import os
import re
import sys

LIMIT = 600
FRONT_ENDS = {"cli", "app", "testing"}


def declared_layers(src):
    text = open(os.path.join(src, "CMakeLists.txt"), encoding="utf-8").read()
    deps = {}
    for m in re.finditer(r"tavex_subsystem\((\w+)([^)]*)\)", text):
        words = m.group(2).split()
        uses = []
        if "DEPS" in words:
            for w in words[words.index("DEPS") + 1:]:
                if w.isupper():
                    break
                uses.append(w)
        deps[m.group(1)] = uses
    return deps


def reachable(deps, layer):
    seen, todo = set(), [layer]
    while todo:
        for d in deps.get(todo.pop(), []):
            if d not in seen:
                seen.add(d)
                todo.append(d)
    return seen


def main():
    src = os.path.join(sys.argv[1], "src")
    deps = declared_layers(src)
    include = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([\w.]+)"', re.M)
    faults = []
    for layer in sorted(os.listdir(src)):
        folder = os.path.join(src, layer)
        if not os.path.isdir(folder):
            continue
        allowed = reachable(deps, layer) | {layer}
        includes = {}  # file name -> headers of its own folder that it includes
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            text = open(path, encoding="utf-8").read()
            is_test = name.endswith("_test.cpp") or "fixture" in name or "test_" in name
            own = set()
            for used, header in include.findall(text):
                if used == layer:
                    own.add(header)
                elif layer not in FRONT_ENDS and not is_test and used not in allowed:
                    faults.append(f"src/{layer}/{name} includes {used}/{header}, a layer {layer} does not build on")
            includes[name] = own
            if name.endswith(".cpp") and not name.endswith("_test.cpp"):
                header = os.path.join(folder, name[:-4] + ".h")
                lines = text.count("\n")
                if os.path.exists(header):
                    lines += open(header, encoding="utf-8").read().count("\n")
                if lines > LIMIT:
                    faults.append(f"src/{layer}/{name} has {lines} lines with its header, more than {LIMIT}")
        for name, own in includes.items():
            if not name.endswith(".cpp"):
                continue
            stem = name[:-4]
            for header in own:
                other = header[:-2] + ".cpp"
                if other != name and other in includes and stem + ".h" in includes[other] and name < other:
                    faults.append(f"src/{layer}/{name} and {other} include each other's header")
    for fault in faults:
        print("FAIL:", fault, file=sys.stderr)
    print(f"{len(faults)} faults in the source tree's layers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
