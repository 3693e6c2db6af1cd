#!/usr/bin/env python3
"""Checks who includes whom, and which target links which, in the product and around it.

The product, src/, is three layers, from the bottom up:
  core/     the portable core: no header of the platform; of the system it includes only the C++ library
            (<string>, <cstdint>: its headers without an extension), never <windows.h> or any other
  win32/    the Win32 adapter and the window toolkit
  windows/  the windows and the program start
A file of src/ includes only files of src/, of its own layer and the layers below it; every file of src/ that is
compiled or included lies in one of the layers.

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

The check reads no source itself: it reads what CMake and the compilers read. Every configure preset of the
tree's CMakePresets.json that inherits none (one that does is a variant, the sanitizers', of the same files) is
configured into build/layers/PRESET (compile_commands.json and CMake's file API);
every compiled file of every target is run through its own compile command with -E (.rc files through the
preprocessor windres uses, with the target's includes and definitions), and so is every file of the tree those
reach, included on its own with the flags of a compiled file that reaches it (but the header a compiled file
includes first, which the compiler has read so already). The compiler's line markers say
which file opened which, forced includes (-include) among them; an include in a block the compiler skips is
none. Paths are resolved: a file of the tree that is a
symbolic link, or that the compiler reaches through one, is a breach, and so is a file the compiler cannot read
through (an include it does not find). A file generated into the build folder counts as the file of the source
folder it was generated for (build/layers/x86/package/rudize.rc is package/rudize.rc). The targets' links come
from the file API: a target links what the layer and folder rules let its files include, and a target of the
core links no target outside it.

  scripts/check-layers.py [ROOT]      ROOT: the tree to check (the repository by default)
  scripts/check-layers.py --rules     the rules, by the names the breaches give

Prints one line a breach, "check-layers: FILE[:LINE]: RULE: what", and exits 1 when there is one; prints one
line and exits 0 when there is none; exits 2 when ROOT has no src/, no configure preset, or does not configure.
tests/layers/ holds a breach of every rule. JOBS (2 by default) compilers run at a time.
"""

import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys
from collections import defaultdict

RULES = {
    "layer-upward": "a file of src/ includes, or its target links, a file or target of a layer above its own",
    "core-platform-header": "the core includes a header of the platform (any but the C++ library's)",
    "product-outside-src": "a file of src/ includes, or its target links, a file or target outside src/",
    "area-boundary": "a file outside src/ includes, or its target links, from a folder other than its own, "
                     "support/ and src/",
    "no-layer": "a file of src/ is in none of the layers",
    "unresolved-include": "the compiler cannot read a file through: an include names no file it finds, or the "
                          "preprocessor stops",
    "symbolic-link": "a file of the tree is a symbolic link, or the compiler reaches the tree through one",
    "file-cycle": "files include each other (x.h and x.cpp count as one)",
    "folder-cycle": "folders include each other",
}

LAYERS = {"core": 1, "win32": 2, "windows": 3}
PRODUCT = "src"
NEUTRAL = "support"
# Build output and version control are not the tree.
NOT_THE_TREE = {".git", "build", "dist", "out"}
BUILD = "build/layers"
MARKER = re.compile(rb'^# (\d+) "((?:[^"\\\n]|\\.)*)"((?: \d)*)$', re.M)
DIAGNOSTIC = re.compile(r"^(.*?):(\d+):(?:\d+:)? (?:fatal )?error: (.*)$")


def area_of(path):
    return path.split("/", 1)[0] if "/" in path else "."


def layer_of(path):
    parts = path.split("/")
    if len(parts) >= 3 and parts[0] == PRODUCT and parts[1] in LAYERS:
        return parts[1]
    return None


def unit_of(path):
    """The file without its extension: a header and its source file are one unit."""
    folder, name = os.path.split(path)
    return os.path.join(folder, name.rsplit(".", 1)[0] if "." in name[1:] else name)


def is_cxx_library(path):
    """A header of the C++ library, as its compilers lay it out: in a folder c++/, with no extension."""
    return "c++" in path.split("/")[:-1] and "." not in os.path.basename(path)


class Files:
    """What a path the compiler opened is: a file of the tree, one generated into a build folder, or the system's."""

    def __init__(self, root):
        self.root = root
        self.cache = {}

    def classify(self, path):
        """(kind, name, shown, link): kind "tree" or "system"; name the file of the tree it counts as (a
        generated one as the file of its source folder); shown how messages name it; link the path through a
        symbolic link it was reached by, if any."""
        if path in self.cache:
            return self.cache[path]
        lexical = os.path.normpath(path)
        real = os.path.realpath(path)
        link = lexical if lexical != real and (self.inside(lexical) or self.inside(real)) else None
        if not self.inside(real):
            result = ("system", real, real, link)
        else:
            rel = os.path.relpath(real, self.root).replace(os.sep, "/")
            name = rel
            if rel.startswith(BUILD + "/"):
                name = rel[len(BUILD) + 1:].split("/", 1)[1] if "/" in rel[len(BUILD) + 1:] else rel
            result = ("tree", name, rel, link)
        self.cache[path] = result
        return result

    def inside(self, path):
        return path == self.root or path.startswith(self.root + os.sep)

    def shown_link(self, link):
        return os.path.relpath(link, self.root) if self.inside(link) else link


def presets_of(root):
    try:
        with open(os.path.join(root, "CMakePresets.json"), encoding="utf-8") as f:
            presets = json.load(f).get("configurePresets", [])
    except (OSError, ValueError) as e:
        return None, str(e)
    # A preset that inherits another builds the same files with other flags (the sanitizers'): its parent's
    # graph is its own.
    return [p["name"] for p in presets if not p.get("hidden") and not p.get("inherits")], None


def configure(root, preset):
    """Configures `preset` into build/layers/PRESET; returns the build folder, or None and CMake's words."""
    build = os.path.join(root, BUILD, preset)
    query = os.path.join(build, ".cmake", "api", "v1", "query")
    os.makedirs(query, exist_ok=True)
    for kind in ("codemodel-v2", "toolchains-v1"):
        open(os.path.join(query, kind), "w").close()
    run = subprocess.run(["cmake", "--preset", preset, "-S", root, "-B", build, "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if run.returncode != 0:
        return None, run.stderr.strip()
    return build, None


class Model:
    """The targets of one configured preset: their compiled files with their commands, and their links."""

    def __init__(self, root, preset, build):
        self.preset = preset
        reply = os.path.join(build, ".cmake", "api", "v1", "reply")
        index = json.load(open(os.path.join(reply, sorted(f for f in os.listdir(reply) if f.startswith("index-"))[-1])))
        responses = index["reply"]
        codemodel = json.load(open(os.path.join(reply, responses["codemodel-v2"]["jsonFile"])))
        toolchains = json.load(open(os.path.join(reply, responses["toolchains-v1"]["jsonFile"])))
        self.compilers = {t["language"]: t["compiler"].get("path") for t in toolchains["toolchains"]}
        commands = {}
        database = os.path.join(build, "compile_commands.json")
        for entry in (json.load(open(database)) if os.path.exists(database) else []):
            argv = shlex.split(entry["command"])
            target = next((m.group(1) for a in argv for m in [re.search(r"CMakeFiles/([^/]+)\.dir/", a)] if m), None)
            commands[(target, os.path.realpath(entry["file"]))] = (entry["directory"], argv)

        self.targets = {}  # id -> target
        self.unreadable = []  # compiled files without a command the check can run
        self.forcing = {}  # target -> where its flags force a file in
        self.units = []  # (target name, file, language, directory, argv)
        for info in codemodel["configurations"][0]["targets"]:
            target = json.load(open(os.path.join(reply, info["jsonFile"])))
            self.targets[target["id"]] = target
            groups = target.get("compileGroups", [])
            for group in groups:
                for fragment in group.get("compileCommandFragments", []):
                    if re.search(r"(^|\s)-(include|imacros)\b", fragment["fragment"]):
                        cmake_file, line = self.where(target, fragment.get("backtrace"))
                        if cmake_file:
                            self.forcing.setdefault(target["name"], f"{cmake_file}:{line}" if line else cmake_file)
            for source in target.get("sources", []):
                if "compileGroupIndex" not in source:
                    continue
                group = groups[source["compileGroupIndex"]]
                path = os.path.realpath(os.path.join(root, source["path"]))
                language = group["language"]
                key = (target["name"], path)
                if key in commands:
                    directory, argv = commands[key]
                elif language == "RC" and self.compilers.get("RC"):
                    directory, argv = build, self.rc_command(group, path)
                else:
                    # Nothing goes unchecked because the check cannot run it.
                    self.unreadable.append(f"{source['path']} ({language}, target {target['name']})")
                    continue
                self.units.append((target["name"], os.path.join(root, source["path"]), language, directory, argv))

    def rc_command(self, group, path):
        """The preprocessor run windres runs: the toolchain's gcc beside it, as C, with RC_INVOKED."""
        windres = self.compilers["RC"]
        gcc = re.sub(r"windres(\.exe)?$", r"gcc\1", windres)
        argv = [gcc, "-xc", "-DRC_INVOKED"]
        argv += [f"-I{i['path']}" for i in group.get("includes", [])]
        argv += [f"-D{d['define']}" for d in group.get("defines", [])]
        return argv + ["-c", path]

    def where(self, target, backtrace):
        graph = target.get("backtraceGraph", {})
        nodes = graph.get("nodes", [])
        if backtrace is None or backtrace >= len(nodes):
            return None, 0
        node = nodes[backtrace]
        return graph["files"][node["file"]], node.get("line", 0)


def preprocess_argv(argv, source):
    """The compile command turned into a preprocessor run: no object, no dependency file, no warnings; `source`
    None reads the file to preprocess from stdin."""
    out, skip = [], False
    drop_with_value = {"-o", "-MF", "-MT", "-MQ", "-c"}
    for arg in argv:
        if skip:
            skip = False
            continue
        if arg in drop_with_value:
            skip = True
            continue
        if arg in ("-MD", "-MMD", "-M", "-MM", "-MP", "-E") or arg.startswith(("-o", "-MF")) and len(arg) > 3:
            continue
        out.append(arg)
    return out, ["-E", "-w"] + ([source] if source else ["-"])


def run_preprocessor(directory, argv, stdin):
    run = subprocess.run(argv, cwd=directory, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return run.returncode, run.stdout, run.stderr.decode("utf-8", "replace")


def opened(stdout, directory, main):
    """(includer, included, line, forced) for every file the run opened, from the line markers: 1 enters a
    file, 2 returns to one, and one without either only moves on within a file, but at the top (the main file
    after <built-in> and <command-line>)."""
    edges, stack, frames = [], [], []
    for m in MARKER.finditer(stdout):
        flags = m.group(3).split()
        enters, returns = b"1" in flags, b"2" in flags
        if not (enters or returns or not stack or stack[-1] in ("<built-in>", "<command-line>")
                or m.group(2)[:1] == b"<"):
            continue
        # The compiler writes \\ and \" for \ and ", and other bytes it will not print in octal.
        raw = m.group(2)
        if b"\\" in raw:
            raw = re.sub(rb"\\([0-7]{1,3}|.)", lambda e: bytes([int(e.group(1), 8)]) if e.group(1).isdigit()
                         else e.group(1), raw)
        path = os.fsdecode(raw)
        if not path.startswith("<"):
            path = os.path.join(directory, path)
        if enters:
            parent = stack[-1] if stack else None
            edges.append([parent, path, 0, parent == "<command-line>"])
            stack.append(path)
            frames.append(len(edges) - 1)
        elif returns:
            while stack and stack[-1] != path:
                stack.pop()
                edges[frames.pop()][2] = max(int(m.group(1)) - 1, 0)
        else:
            stack, frames = [path], [None]
    return [e for e in edges if e[0] is not None and e[0] != "<built-in>"]


SEARCH = {}


def system_name(compiler, language, path):
    """A system header as the compiler's own search folders name it (<windows.h>), or its path."""
    language = "c" if language in ("C", "RC") else "c++"
    if (compiler, language) not in SEARCH:
        run = subprocess.run([compiler, "-x", language, "-E", "-v", "-"], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        lines = run.stderr.splitlines()
        start = next((i for i, line in enumerate(lines) if line.startswith("#include <...>")), len(lines))
        folders = []
        for line in lines[start + 1:]:
            if not line.startswith(" "):
                break
            folders.append(os.path.realpath(line.strip()))
        SEARCH[(compiler, language)] = folders
    for folder in SEARCH[(compiler, language)]:
        if path.startswith(folder + os.sep):
            return f"<{os.path.relpath(path, folder)}>"
    # A header the compiler found through a link in its folders (MinGW's point into /usr/share): the shortest
    # name under which a search folder holds it.
    parts = path.split(os.sep)
    for k in range(1, min(len(parts), 4)):
        name = os.path.join(*parts[-k:])
        if any(os.path.realpath(os.path.join(folder, name)) == path for folder in SEARCH[(compiler, language)]):
            return f"<{name}>"
    return path


def check(root):
    root = os.path.realpath(root)
    files = Files(root)
    breaches = set()
    presets, error = presets_of(root)
    if not presets:
        return None, f"{root}: no configure preset in CMakePresets.json{f' ({error})' if error else ''}"

    def breach(path, line, rule, what):
        assert rule in RULES, rule
        breaches.add((path, line or 0, rule, f"check-layers: {path}{f':{line}' if line else ''}: {rule}: {what}"))

    # A link anywhere in the tree makes one file two, whatever reads it.
    walked = set()
    for folder, dirs, names in os.walk(root):
        rel = os.path.relpath(folder, root).replace(os.sep, "/")
        if rel == ".":
            dirs[:] = [d for d in dirs if d not in NOT_THE_TREE]
        for name in sorted(dirs + names):
            path = os.path.join(folder, name)
            if os.path.islink(path):
                shown = os.path.relpath(path, root)
                target = os.path.realpath(path)
                walked.add(path)
                breach(shown, 0, "symbolic-link",
                       f"is a symbolic link to {files.shown_link(target)}; the tree holds files, not links")

    jobs = int(os.environ.get("JOBS", "2") or 2)
    edges = {}  # (includer, included) of the tree -> (line, where -include forces it in or "", as shown)
    reached = defaultdict(set)  # file of the tree -> the compiled files whose runs reached it, per preset
    compiled = set()
    system_edges = []  # (file of the core, header of the platform, compiler, language, line, forced)
    target_links = []
    units_by_file = {}
    whole = set()  # (preset, header) the compiler has read as if included on its own
    forcing = {}  # (preset, target) -> where the target's flags force a file in

    def take(directory, argv, stdin, main, unit):
        code, stdout, stderr = run_preprocessor(directory, argv, stdin)
        return code, opened(stdout, directory, main), stderr, unit

    def record(result, preset, main_name, compiled_run=False):
        code, found, stderr, unit = result
        if compiled_run and code == 0:
            # The header a compiled file includes first, before anything else was opened (but what the compiler
            # itself puts first), the compiler has read as if on its own: it needs no run of its own.
            first = next((e for e in found if e[0] != "<command-line>"), None)
            forced_any = any(e[0] == "<command-line>" and not e[1].endswith(os.sep + "stdc-predef.h") for e in found)
            if first is not None and first[0] == unit[1] and not forced_any:
                kind, name, _, _ = files.classify(first[1])
                if kind == "tree":
                    whole.add((preset, name))
        if code != 0:
            for line in stderr.splitlines():
                m = DIAGNOSTIC.match(line)
                if m:
                    kind, name, shown, _ = files.classify(os.path.join(unit[3], m.group(1)))
                    breach(shown if kind == "tree" else name, int(m.group(2)), "unresolved-include",
                           f"{m.group(3)} (preset {preset})")
                    break
            else:
                breach(main_name, 0, "unresolved-include",
                       f"the compiler stops: {stderr.strip()[:200]} (preset {preset})")
        for includer, included, line, forced in found:
            if forced:
                # What the flags force in (-include, -imacros); not what the compiler itself puts before every
                # file (glibc's stdc-predef.h).
                named = {os.path.basename(a) for k, a in zip(unit[4], unit[4][1:]) if k in ("-include", "-imacros")}
                named |= {os.path.basename(a[len(k):]) for a in unit[4] for k in ("-include", "-imacros")
                          if a.startswith(k) and len(a) > len(k)}
                if os.path.basename(included) not in named:
                    continue
                includer = unit[1]
                forced = forcing.get((preset, unit[0]), "the flags")
            elif includer == "<stdin>":
                continue
            else:
                forced = ""
            ikind, iname, _, ilink = files.classify(includer)
            kind, name, shown, link = files.classify(included)
            for lk in (ilink, link):
                if lk and not any(lk == w or lk.startswith(w + os.sep) for w in walked):
                    breach(files.shown_link(lk), 0, "symbolic-link",
                           f"the compiler reaches {files.classify(lk)[2]} through a symbolic link")
            if ikind != "tree":
                continue
            if kind == "tree":
                reached[(preset, name)].add(unit)
                key = (iname, name)
                if key not in edges or (line and (not edges[key][0] or line < edges[key][0])):
                    edges[key] = (line, forced, shown)
            elif layer_of(iname) == "core" and not is_cxx_library(name):
                system_edges.append((iname, name, unit[4][0], unit[2], line, forced))

    for preset in presets:
        build, error = configure(root, preset)
        if build is None:
            return None, f"check-layers: preset {preset} does not configure:\n{error}"
        model = Model(root, preset, build)
        forcing.update({(preset, target): where for target, where in model.forcing.items()})
        if model.unreadable:
            return None, (f"check-layers: preset {preset}: no compile command for " + ", ".join(model.unreadable) +
                          " (the generator must write compile_commands.json)")
        units = []
        for target, path, language, directory, argv in model.units:
            kind, name, shown, link = files.classify(path)
            if kind != "tree":
                continue  # the system's own sources (GoogleTest's)
            if link and not any(link == w or link.startswith(w + os.sep) for w in walked):
                breach(files.shown_link(link), 0, "symbolic-link",
                       f"the compiler reaches {shown} through a symbolic link")
            compiled.add(name)
            base, _ = preprocess_argv(argv, path)
            unit = (target, path, language, directory, tuple(base), name)
            units.append(unit)
            units_by_file.setdefault((preset, name), unit)
        with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
            results = pool.map(lambda u: take(u[3], list(u[4]) + ["-E", "-w", u[1]], None, u[1], u), units)
            for unit, result in zip(units, results):
                record(result, preset, unit[5], compiled_run=True)
            # Every file of the tree the compiled files reach, included on its own: what it includes is read
            # even where a compiled file had included that before.
            headers = []
            for (p, name), by in sorted(reached.items()):
                if p != preset or (preset, name) in units_by_file or (preset, name) in whole:
                    continue
                path = os.path.join(root, files_shown(files, name))
                # With the flags of the compiled file nearest to it: its own source, one of its folder, its area.
                unit = min(by, key=lambda u: (unit_of(u[5]) != unit_of(name), os.path.dirname(u[5]) !=
                                              os.path.dirname(name), area_of(u[5]) != area_of(name), u[5], u[0]))
                language = "c" if unit[2] in ("C", "RC") else "c++"
                argv = list(unit[4]) + ["-E", "-w", "-x", language, "-"]
                stub = f'#include "{path}"\n'.encode()
                headers.append((unit, argv, stub, name))
            results = pool.map(lambda h: take(h[0][3], h[1], h[2], "<stdin>", h[0]), headers)
            for header, result in zip(headers, results):
                record(result, preset, header[3])
        for target in model.targets.values():
            target_links.append((model, target))

    # The files of src/ in none of the layers.
    for name in sorted(compiled | {n for _, n in reached} | {n for e in edges for n in e}):
        if area_of(name) == PRODUCT and layer_of(name) is None:
            breach(name, 0, "no-layer", "src/ holds only the layers core/, win32/ and windows/")

    def judge(source, target, shown_target, what_source, where, line):
        """The rule a file or target `source` breaks by reaching `target`, if any."""
        area, layer = area_of(source), layer_of(source)
        target_area = area_of(target)
        if area == PRODUCT:
            if target_area != PRODUCT:
                breach(where, line, "product-outside-src",
                       f"{what_source} {shown_target}; the product includes only files of src/")
            elif layer and layer_of(target) and LAYERS[layer_of(target)] > LAYERS[layer]:
                breach(where, line, "layer-upward",
                       f"{what_source} {shown_target}, of the layer {layer_of(target)}/ above {layer}/")
        elif target_area not in (area, PRODUCT, NEUTRAL):
            allowed = ", ".join(f"{folder}/" for folder in dict.fromkeys((area, NEUTRAL)))
            breach(where, line, "area-boundary",
                   f"{what_source} {shown_target}; {area}/ includes only {allowed} and {PRODUCT}/")

    for (includer, included), (line, forced, shown) in sorted(edges.items()):
        how = f"includes (by -include in {forced})" if forced else "includes"
        judge(includer, included, shown if shown == included else f"{included} (generated as {shown})", how,
              includer, line)
    for includer, path, compiler, language, line, forced in sorted(set(system_edges)):
        how = f" by -include in {forced}" if forced else ""
        breach(includer, line, "core-platform-header", f"includes {system_name(compiler, language, path)}{how}, "
               f"a header of the platform; the core includes only the C++ library's")

    # The targets: what one links, its files may use.
    for model, target in target_links:
        own = target_files(root, files, target)
        if not own:
            continue
        for dependency in target.get("dependencies", []):
            other = model.targets.get(dependency["id"])
            theirs = target_files(root, files, other) if other else set()
            if not theirs:
                continue
            cmake_file, line = model.where(target, dependency.get("backtrace"))
            where = cmake_file or target["paths"]["source"]
            # The strictest reading: its lowest file against their highest, or one outside src/.
            lowest = min(own, key=lambda f: (area_of(f) == PRODUCT and layer_of(f) is None,
                                             LAYERS.get(layer_of(f) or "", 9)))
            highest = max(theirs, key=lambda f: (area_of(f) != PRODUCT, LAYERS.get(layer_of(f) or "", 0)))
            if area_of(lowest) == PRODUCT:
                judge(lowest, highest, f"{other['name']}", f"the target {target['name']} links", where, line)
            else:
                for area in sorted({area_of(f) for f in theirs}):
                    mine = {area_of(f) for f in own}
                    if area not in mine | {PRODUCT, NEUTRAL}:
                        allowed = ", ".join(f"{folder}/" for folder in sorted(mine | {NEUTRAL}))
                        breach(where, line, "area-boundary", f"the target {target['name']} links {other['name']}, of "
                               f"{area}/; {'/'.join(sorted(mine))}/ includes only {allowed} and {PRODUCT}/")

    # A source file and its header are one file here: x.cpp is what x.h promises, so x.cpp including y.h and
    # y.cpp including x.h is a cycle as much as two headers including each other.
    for rule, what, group, shown in (("file-cycle", "files", unit_of, lambda unit: f"{unit}.*"),
                                     ("folder-cycle", "folders", os.path.dirname, lambda folder: f"{folder}/")):
        grouped, witness = defaultdict(set), {}
        for source, target in sorted(edges):
            a, b = group(source), group(target)
            if a != b:
                grouped[a].add(b)
                witness.setdefault((a, b), (source, target))
        for cycle in cycles(grouped):
            pairs = [witness[(cycle[k], cycle[(k + 1) % len(cycle)])] for k in range(len(cycle))]
            steps = " -> ".join(shown(node) for node in cycle + [cycle[0]])
            how = "; ".join(f"{source} includes {target}" for source, target in pairs)
            breach(pairs[0][0], 0, rule, f"the {what} include each other: {steps} ({how})")

    names = compiled | {n for e in edges for n in e}
    return (sorted(breaches), len(compiled), len(names), len(edges), presets), None


def files_shown(files, name):
    """The path of the file `name` counts as, as the compiler opened it (a generated one in its build folder)."""
    for path, (kind, n, shown, _) in files.cache.items():
        if kind == "tree" and n == name:
            return shown
    return name


def target_files(root, files, target):
    """The files of the tree a target compiles, as the files they count as."""
    out = set()
    for source in target.get("sources", []):
        if "compileGroupIndex" in source:
            kind, name, _, _ = files.classify(os.path.join(root, source["path"]))
            if kind == "tree":
                out.add(name)
    return out


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
    result, error = check(root)
    if result is None:
        print(error, file=sys.stderr)
        return 2
    breaches, compiled, files, count, presets = result
    for *_, message in breaches:
        print(message)
    if breaches:
        return 1
    print(f"check-layers: core < win32 < windows; src/ includes only src/, every other folder only itself, "
          f"support/ and src/; no cycle of files or folders; targets link alike ({compiled} compiled files, "
          f"{files} files, {count} includes; presets {', '.join(presets)})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
