#!/usr/bin/env python3
"""Checks that the folders depend on each other only downwards.

  scripts/check_layering.py                     check the #include lines
  scripts/check_layering.py --objects BUILD     also check the core library's objects in
                                                BUILD: a function declared low but defined
                                                high is a dependency the includes hide, and
                                                a class's out-of-line members are defined
                                                in the folder that declares the class
  scripts/check_layering.py --graph [--objects BUILD]
                                                print the folder-to-folder edges

A folder may use its own code and that of folders on a lower layer. The layers are the
```layers block of docs/architecture.md; a new top-level folder with sources must be
given a layer there. The tests' support code (tests/support/) uses the platform layer
through its public headers only, never a backend's. Exit 1 names the offending lines.
"""
import pathlib
import re
import subprocess
import sys

repo = pathlib.Path(__file__).resolve().parent.parent
# The layers are listed once, in the front-door page: a fenced block of "N folder..."
# lines, lowest first. Lower layers never use higher ones; folders on one layer do not
# use each other.
LAYER_LIST = repo / "docs" / "architecture.md"


def read_layers(path):
    block = re.search(r"^```layers\n(.*?)^```", path.read_text(), re.S | re.M)
    if not block:
        raise SystemExit(f"layering: no ```layers block in {path}")
    layers = {}
    for line in block.group(1).splitlines():
        number, *folders = line.split()
        for folder in folders:
            layers[folder] = int(number)
    return layers


LAYERS = read_layers(LAYER_LIST)
SOURCE_SUFFIXES = {".cpp", ".h"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
# A class or struct with a body (not a forward declaration, not an enum class).
CLASS = re.compile(r"(?<!enum )\b(?:class|struct)\s+(\w+)(?:\s+final)?\s*(?::[^;{}()]*)?\{")


def sources():
    """The C++ files of the tree, without hidden and build folders."""
    for folder in sorted(repo.iterdir()):
        if not folder.is_dir() or folder.name.startswith((".", "build")):
            continue
        for path in sorted(folder.rglob("*")):
            if path.suffix in SOURCE_SUFFIXES and path.is_file():
                yield path


def folder_edges():
    """(from, to) -> the include lines that make the edge, as "file:line: text"."""
    edges = {}
    unknown = set()
    for path in sources():
        relative = path.relative_to(repo)
        top = relative.parts[0]
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1).split("/")[0]
            # Includes relative to the file's own folder stay inside it.
            if "/" not in match.group(1) or not (repo / target).is_dir():
                continue
            for folder in (top, target):
                if folder not in LAYERS:
                    unknown.add(folder)
            if target != top:
                edges.setdefault((top, target), []).append(f"{relative}:{number}: {line.strip()}")
    return edges, unknown


def private_platform_includes():
    """The lines where test support reaches into a platform backend: it may use the
    platform layer's public headers (platform/NAME.h) only, as any caller does."""
    lines = []
    for path in sources():
        relative = path.relative_to(repo)
        if relative.parts[:2] != ("tests", "support"):
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if match and match.group(1).startswith("platform/") and match.group(1).count("/") > 1:
                lines.append(f"{relative}:{number}: {line.strip()}")
    return lines


def object_edges(build):
    """(from, to) -> the symbols an object of one folder takes from another's.

    Only strong definitions count: inline functions and templates are defined (weakly)
    wherever they are used."""
    objects = pathlib.Path(build) / "CMakeFiles" / "launcher_core.dir"
    if not objects.is_dir():
        raise SystemExit(f"layering: no core objects in {objects}")
    defined = {}
    undefined = {}
    members = []  # (folder, object, symbol) of every strong definition
    for path in sorted(objects.rglob("*.o")):
        relative = path.relative_to(objects)
        # An object left in a reused build folder by a source that has since moved.
        if not (repo / relative.with_suffix("")).is_file():
            continue
        folder = relative.parts[0]
        listing = subprocess.run(["nm", "--format=posix", str(path)], check=True,
                                 capture_output=True, text=True).stdout
        for line in listing.splitlines():
            # "name type [value [size]]"; mangled names hold no spaces.
            fields = line.split()
            if len(fields) < 2:
                continue
            name, kind = fields[0], fields[1]
            if kind == "U":
                undefined.setdefault(name, set()).add((folder, path.name))
            elif kind in "TDBR":
                defined.setdefault(name, set()).add(folder)
                members.append((folder, f"{folder}/{path.name}", name))
    edges = {}
    for name, users in sorted(undefined.items()):
        for owner in defined.get(name, ()):
            for folder, object_name in sorted(users):
                if owner != folder:
                    edges.setdefault((folder, owner), []).append((f"{folder}/{object_name}", name))
    # Readable names for the report.
    names = sorted({name for lines in edges.values() for _, name in lines} |
                   {name for _, _, name in members})
    readable = dict(zip(names, subprocess.run(["c++filt"], input="\n".join(names), check=True,
                                              capture_output=True, text=True).stdout.splitlines()))
    return ({edge: [f"{where}: {readable.get(name, name)}" for where, name in lines]
             for edge, lines in edges.items()},
            [(folder, where, readable.get(name, name)) for folder, where, name in members])


def declared_classes():
    """Class name -> the folders whose sources give the class its body."""
    classes = {}
    for path in sources():
        folder = path.relative_to(repo).parts[0]
        for name in CLASS.findall(path.read_text(errors="replace")):
            classes.setdefault(name, set()).add(folder)
    return classes


def scopes(symbol):
    """The scopes of a demangled name: "base::Thread::Start()" -> ["base", "Thread"]."""
    symbol = symbol.replace("(anonymous namespace)", "{anonymous}")
    parts, current, depth, i = [], "", 0, 0
    while i < len(symbol):
        if depth == 0 and symbol.startswith("operator", i) and not current:
            break  # the rest is an operator's name and its parameters
        if depth == 0 and symbol.startswith("::", i):
            parts.append(current)
            current, i = "", i + 2
            continue
        char = symbol[i]
        if depth == 0 and char in " (":
            break  # the parameters, or a clone's suffix
        depth += {"<": 1, ">": -1}.get(char, 0)
        current += char
        i += 1
    return [re.sub(r"<.*", "", part) for part in parts]


def misplaced_members(members):
    """(class, declaring folders) -> the members defined outside those folders."""
    classes = declared_classes()
    found = {}
    for folder, where, symbol in members:
        owners = [part for part in scopes(symbol) if part in classes]
        if not owners:
            continue
        homes = classes[owners[-1]]
        if folder not in homes:
            found.setdefault((owners[-1], tuple(sorted(homes))), []).append(f"{where}: {symbol}")
    return found


def main():
    arguments = sys.argv[1:]
    edges, unknown = folder_edges()
    misplaced = {}
    if "--objects" in arguments:
        build = arguments[arguments.index("--objects") + 1]
        linked, members = object_edges(build)
        for edge, lines in linked.items():
            edges.setdefault(edge, []).extend(lines)
        misplaced = misplaced_members(members)
    if "--graph" in arguments:
        for source, target in sorted(edges):
            print(f"{source} -> {target}")
        return 0
    failed = False
    for folder in sorted(unknown):
        print(f"layering: folder {folder}/ has no layer in {LAYER_LIST.relative_to(repo)}")
        failed = True
    backend_lines = private_platform_includes()
    if backend_lines:
        print("layering: tests/support/ must use the platform layer through its public headers:")
        for line in backend_lines:
            print(f"  {line}")
        failed = True
    for (source, target), lines in sorted(edges.items()):
        if source in LAYERS and target in LAYERS and LAYERS[target] >= LAYERS[source]:
            print(f"layering: {source}/ must not use {target}/:")
            for line in lines:
                print(f"  {line}")
            failed = True
    # Members defined elsewhere would hide a dependency the folders' order forbids.
    for (name, homes), lines in sorted(misplaced.items()):
        folders = ", ".join(f"{home}/" for home in homes)
        print(f"layering: {name} is declared in {folders} but members are defined outside:")
        for line in lines:
            print(f"  {line}")
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
