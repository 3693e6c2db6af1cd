#!/usr/bin/env python3
"""Checks who includes whom, in the product and around it.

The product, src/, is three layers, from the bottom up:
  core/     the portable core: no header of the platform; of the system it includes only the C++ library
            (<string>, <cstdint>: names without an extension), never <windows.h> or any other <....h>
  win32/    the Win32 adapter and the window toolkit
  windows/  the windows and the program start
A file of src/ includes only files of src/, of its own layer and the layers below it.

Around the product, every top-level folder includes only itself, src/ and support/:
  support/  what the tests, the tools and the sample programs share (UTF-8 text, the UI driver); no test code
  tests/    the tests; their helpers are test code and stay in tests/
  tools/    the project's own programs (the demo's driver)
  package/  the sample programs that go on the medium
  bench/    the benchmark
So the product depends on nothing outside src/, tests/ and tools/ never include each other, and neither
support/ nor the sample programs include test code.

Everywhere, no file reaches itself through its includes (a header and its source file, x.h and x.cpp, count
as one), and no folder reaches itself through the folders its files include from.

An include is found where the compilers find it: "name" beside the including file first, then in the include
folders its area is built with (INCLUDE_ROOTS, as the CMake files set them, src/ for every area); <name> in
those folders only. Names are compared without regard to case, and "\\" separates folders as "/" does, as on
Windows. A "name", or a <core/...>, <win32/...> or <windows/...>, that is no file of the tree is a breach:
nothing goes unchecked because it was not found. Any other <name> that is no file of the tree is the system's.
Comments and continued lines are read as the preprocessor reads them; an include in a disabled #if block
counts.

  scripts/check-layers.py [ROOT]      ROOT: the tree to check (the repository by default)
  scripts/check-layers.py --rules     the rules, by the names the breaches give

Prints one line a breach, "check-layers: FILE[:LINE]: RULE: what", and exits 1 when there is one; prints one
line and exits 0 when there is none; exits 2 when ROOT has no src/. tests/layers/ holds a breach of every rule.
"""

import os
import re
import sys
from collections import defaultdict

RULES = {
    "layer-upward": "a file of src/ includes a file of a layer above its own",
    "core-platform-header": "the core includes a header of the platform",
    "product-outside-src": "a file of src/ includes a file outside src/",
    "area-boundary": "a file outside src/ includes from a folder other than its own, support/ and src/",
    "no-layer": "a file of src/ is in none of the layers",
    "unresolved-include": "a quoted include, or an angled one into a layer, names no file of the tree; or no name",
    "file-cycle": "files include each other (x.h and x.cpp count as one)",
    "folder-cycle": "folders include each other",
}

LAYERS = {"core": 1, "win32": 2, "windows": 3}
PRODUCT = "src"
NEUTRAL = "support"

# The include folders of each top-level folder, relative to the root ("" is the root itself, which the
# libraries of support/ put on the path so that their headers read "support/utf8.h").
INCLUDE_ROOTS = {
    "src": ["src"],
    "package": ["src", "", "package/common", "package/rudize"],
}
DEFAULT_ROOTS = ["src", ""]

# Build output and version control are not the tree.
NOT_THE_TREE = {".git", "build", "dist", "out"}

SOURCE_SUFFIXES = (".h", ".hh", ".hpp", ".hxx", ".h++", ".inl", ".ipp", ".tcc",
                   ".c", ".cc", ".cpp", ".cxx", ".c++", ".rc", ".rc2")

# The C++ library's headers have bare names; anything else in angle brackets is the platform's.
STANDARD_LIBRARY_NAME = re.compile(r"[a-z_][a-z0-9_]*")
DIRECTIVE = re.compile(r"^[ \t\f\v]*(?:#|%:)[ \t\f\v]*include(?:_next)?\b[ \t\f\v]*(.*)$")


def is_source(path):
    name = path.lower()
    if name.endswith(".in"):  # configured by CMake into the build: it is read as the file it becomes
        name = name[:-3]
    return name.endswith(SOURCE_SUFFIXES)


def area_of(path):
    return path.split("/", 1)[0] if "/" in path else "."


def unit_of(path):
    """The file without its extension: a header and its source file are one unit."""
    if path.lower().endswith(".in"):
        path = path[:-3]
    folder, name = os.path.split(path)
    return os.path.join(folder, name.rsplit(".", 1)[0] if "." in name[1:] else name)


def layer_of(path):
    parts = path.split("/")
    if len(parts) >= 3 and parts[0] == PRODUCT and parts[1] in LAYERS:
        return parts[1]
    return None


def read_text(path):
    data = open(path, "rb").read()
    if data.startswith((b"\xff\xfe", b"\xfe\xff")):
        return data.decode("utf-16", errors="replace")
    if b"\x00" in data[:512]:  # a resource script saved as UTF-16 without its mark
        return data.decode("utf-16-le", errors="replace")
    return data.decode("utf-8", errors="replace").lstrip("\ufeff")


def logical_lines(text):
    """The lines as the preprocessor sees them: continued lines joined, comments and the insides of raw
    strings blanked. Yields (first physical line number, text)."""
    physical = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    joined, starts, current, start = [], [], None, 0
    for number, line in enumerate(physical, 1):
        if current is None:
            current, start = "", number
        if line.endswith("\\"):
            current += line[:-1]
            continue
        joined.append(current + line)
        starts.append(start)
        current = None
    if current is not None:
        joined.append(current)
        starts.append(start)

    source = "\n".join(joined)
    out, i, n = [], 0, len(source)
    while i < n:
        c = source[i]
        if source.startswith("//", i):
            end = source.find("\n", i)
            i = n if end < 0 else end
            out.append(" ")
        elif source.startswith("/*", i):
            end = source.find("*/", i + 2)
            end = n if end < 0 else end + 2
            # The lines stay where they were; an include after the comment counts (the safe reading).
            out.append(" " + "\n" * source.count("\n", i, end))
            i = end
        elif c.isdigit() or (c == "." and i + 1 < n and source[i + 1].isdigit()):
            # A number, whose digit separators (1'000) are no character literal.
            j = i + 1
            while j < n and (source[j].isalnum() or source[j] in "_.'" or
                             (source[j] in "+-" and source[j - 1] in "eEpP")):
                j += 1
            out.append(source[i:j])
            i = j
        elif c.isalpha() or c == "_":
            j = i + 1
            while j < n and (source[j].isalnum() or source[j] == "_"):
                j += 1
            word = source[i:j]
            out.append(word)
            i = j
            if word in ("R", "LR", "uR", "UR", "u8R") and i < n and source[i] == '"':
                open_paren = source.find("(", i)
                delimiter = source[i + 1:open_paren] if open_paren >= 0 else None
                if delimiter is not None and len(delimiter) <= 16 and not re.search(r'[\s()\\"]', delimiter):
                    end = source.find(")" + delimiter + '"', open_paren)
                    end = n if end < 0 else end + len(delimiter) + 2
                    out.append('""' + "\n" * source.count("\n", i, end))
                    i = end
        elif c in "\"'":
            j = i + 1
            while j < n and source[j] != c and source[j] != "\n":
                j += 2 if source[j] == "\\" else 1
            j = min(j + 1, n) if j < n and source[j] == c else j
            out.append(source[i:j])
            i = j
        else:
            out.append(c)
            i += 1
    for start, line in zip(starts, "".join(out).split("\n")):
        yield start, line


def includes(text):
    """(line, kind, name) of every include: kind '"' or '<', or None when the name is not written out."""
    for number, line in logical_lines(text):
        m = DIRECTIVE.match(line)
        if not m:
            continue
        operand = m.group(1).strip()
        q = re.match(r'"([^"]*)"', operand) or re.match(r"<([^>]*)>", operand)
        if q:
            yield number, operand[0], q.group(1)
        else:
            yield number, None, operand


class Tree:
    def __init__(self, root):
        self.files = {}  # the lower-case path -> the path as it is
        for folder, dirs, names in os.walk(root):
            rel = os.path.relpath(folder, root).replace(os.sep, "/")
            if rel == ".":
                dirs[:] = [d for d in dirs if d not in NOT_THE_TREE]
                rel = ""
            dirs.sort()
            for name in names:
                path = f"{rel}/{name}" if rel else name
                self.files[path.lower()] = path

    def find(self, folder, name):
        """The file `name` names from `folder`, or None. Lexical, as Windows resolves "..": a path that leaves
        the tree is no file of it."""
        joined = os.path.normpath(os.path.join(folder, name)).replace(os.sep, "/")
        if joined.startswith("../") or joined == ".." or os.path.isabs(joined):
            return None
        return self.files.get(joined.lower())


def check(root):
    tree = Tree(root)
    sources = sorted(path for path in tree.files.values() if is_source(path))
    breaches = []
    edges = defaultdict(set)  # file -> files it includes
    count = 0

    def breach(path, line, rule, what):
        assert rule in RULES, rule
        breaches.append((path, line or 0, rule, f"check-layers: {path}{f':{line}' if line else ''}: {rule}: {what}"))

    pending, seen = list(sources), set(sources)
    while pending:
        path = pending.pop()
        area, layer = area_of(path), layer_of(path)
        if area == PRODUCT and layer is None:
            breach(path, 0, "no-layer", "src/ holds only the layers core/, win32/ and windows/")
        roots = INCLUDE_ROOTS.get(area, DEFAULT_ROOTS)
        here = path.rsplit("/", 1)[0] if "/" in path else ""
        for line, kind, name in includes(read_text(os.path.join(root, path))):
            count += 1
            if kind is None:
                breach(path, line, "unresolved-include", f"#include {name} names no file the check can read")
                continue
            written = f"{kind}{name}{'>' if kind == '<' else kind}"
            name = name.replace("\\", "/")
            # <windows/...> is never the system's: the product's folders shadow any of that name.
            product_folder = "/" in name and name.split("/", 1)[0].lower() in LAYERS
            looked = roots if kind == "<" else [here] + roots
            target = next((t for t in (tree.find(folder, name) for folder in looked) if t), None)
            if target is None:
                if kind == '"' or product_folder:
                    where = ", ".join(f"{folder or '.'}/" for folder in dict.fromkeys(looked))
                    breach(path, line, "unresolved-include", f"{written} is no file of the tree (looked in {where})")
                elif area == PRODUCT and layer == "core" and not STANDARD_LIBRARY_NAME.fullmatch(name):
                    breach(path, line, "core-platform-header",
                           f"{written} is a header of the platform; the core includes only the C++ library")
                continue

            edges[path].add(target)
            if target not in seen:  # an included file of any name is read as well
                seen.add(target)
                pending.append(target)
            target_area = area_of(target)
            if area == PRODUCT:
                if target_area != PRODUCT:
                    breach(path, line, "product-outside-src",
                           f"includes {target}; the product includes only files of src/")
                elif layer and layer_of(target) and LAYERS[layer_of(target)] > LAYERS[layer]:
                    breach(path, line, "layer-upward",
                           f"includes {target}, of the layer {layer_of(target)}/ above {layer}/")
            elif target_area not in (area, PRODUCT, NEUTRAL):
                allowed = ", ".join(f"{folder}/" for folder in dict.fromkeys((area, NEUTRAL)))
                breach(path, line, "area-boundary",
                       f"includes {target}; {area}/ includes only {allowed} and {PRODUCT}/")

    # A source file and its header are one file here: x.cpp is what x.h promises, so x.cpp including y.h and
    # y.cpp including x.h is a cycle as much as two headers including each other.
    for rule, what, group, shown in (("file-cycle", "files", unit_of, lambda unit: f"{unit}.*"),
                                     ("folder-cycle", "folders", os.path.dirname, lambda folder: f"{folder}/")):
        grouped, witness = defaultdict(set), {}
        for source in sorted(edges):
            for target in sorted(edges[source]):
                a, b = group(source), group(target)
                if a != b:
                    grouped[a].add(b)
                    witness.setdefault((a, b), (source, target))
        for cycle in cycles(grouped):
            pairs = [witness[(cycle[k], cycle[(k + 1) % len(cycle)])] for k in range(len(cycle))]
            steps = " -> ".join(shown(node) for node in cycle + [cycle[0]])
            how = "; ".join(f"{source} includes {target}" for source, target in pairs)
            breach(pairs[0][0], 0, rule, f"the {what} include each other: {steps} ({how})")

    return sorted(set(breaches)), len(seen), count


def cycles(edges):
    """One cycle of every strongly connected part of more than one node, the shortest from its least node."""
    index, low, on_stack, stack, parts, counter = {}, {}, set(), [], [], [0]
    nodes = sorted(set(edges) | {t for ts in edges.values() for t in ts})

    def visit(start):
        # Tarjan's algorithm without recursion: a work stack of (node, iterator of its successors).
        work = [(start, iter(sorted(edges.get(start, ()))))]
        index[start] = low[start] = counter[0]
        counter[0] += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for succ in successors:
                if succ not in index:
                    index[succ] = low[succ] = counter[0]
                    counter[0] += 1
                    stack.append(succ)
                    on_stack.add(succ)
                    work.append((succ, iter(sorted(edges.get(succ, ())))))
                    advanced = True
                    break
                if succ in on_stack:
                    low[node] = min(low[node], index[succ])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                part = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    part.append(member)
                    if member == node:
                        break
                parts.append(part)

    for node in nodes:
        if node not in index:
            visit(node)

    found = []
    for part in parts:
        members = set(part)
        first = min(part)
        if len(part) == 1:
            continue
        # The shortest way round from the least member, inside the part.
        previous, frontier = {first: None}, [first]
        closing = None
        while frontier and closing is None:
            following = []
            for node in frontier:
                for succ in sorted(edges.get(node, ())):
                    if succ == first:
                        closing = node
                        break
                    if succ in members and succ not in previous:
                        previous[succ] = node
                        following.append(succ)
                if closing is not None:
                    break
            frontier = following
        cycle, node = [], closing
        while node is not None:
            cycle.append(node)
            node = previous[node]
        found.append(list(reversed(cycle)))
    return sorted(found)


def main(argv):
    if argv[1:] == ["--rules"]:
        for rule, what in RULES.items():
            print(f"{rule}: {what}")
        return 0
    if len(argv) > 2 or (len(argv) == 2 and argv[1].startswith("-")):
        print("usage: scripts/check-layers.py [ROOT] | --rules", file=sys.stderr)
        return 2
    root = argv[1] if len(argv) == 2 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    if not os.path.isdir(os.path.join(root, PRODUCT)):
        print(f"check-layers: {root} has no {PRODUCT}/", file=sys.stderr)
        return 2
    breaches, files, count = check(root)
    for *_, message in breaches:
        print(message)
    if breaches:
        return 1
    print(f"check-layers: core < win32 < windows; src/ includes only src/, every other folder only itself, "
          f"support/ and src/; no cycle of files or folders ({files} files, {count} includes)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
