#!/usr/bin/env python3
"""Compiles every product and test source of a build tree a second time,
with clang for the same mingw target, syntax only, -Wall -Wextra -Werror:
a second compiler's warnings on the same code. Reads the tree's
compile_commands.json; GoogleTest's own sources are left out.

Usage: clang-check.py BUILD_DIR [--jobs N]
Exit code 0 when every source compiles without a warning."""
import json
import os
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TRIPLES = {"x86_64": "x86_64-w64-mingw32", "i686": "i686-w64-mingw32"}
# Options of the gcc command lines that clang does not take or that would
# write files.
DROP_WITH_VALUE = {"-o", "-MF", "-MT", "-MQ"}
DROP = {"-c", "-MD", "-MMD", "-fno-keep-inline-dllexport"}


def mingw_flags(triple):
    """The target and the mingw C++ library's headers, which clang does not
    find by itself."""
    cxx = "/usr/lib/gcc/%s/12-win32/include/c++" % triple
    return ["--target=" + triple, "-nostdinc++", "-isystem", cxx, "-isystem", cxx + "/" + triple,
            "-isystem", cxx + "/backward"]


def clang_command(entry):
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    compiler = os.path.basename(args[0])
    triple = next((t for p, t in TRIPLES.items() if compiler.startswith(p)), None)
    if triple is None:
        return None
    is_c = compiler.split("-")[-2:-1] == ["gcc"] or entry["file"].endswith(".c")
    out = ["clang" if is_c else "clang++"] + mingw_flags(triple)
    skip = False
    for arg in args[1:]:
        if skip:
            skip = False
            continue
        if arg in DROP_WITH_VALUE:
            skip = True
            continue
        if arg in DROP or arg == entry["file"]:
            continue
        out.append(arg)
    return out + ["-fsyntax-only", "-Wall", "-Wextra", "-Werror", entry["file"]]


def ours(path):
    path = os.path.realpath(path)
    return path.startswith(ROOT + os.sep) and os.sep + "build" + os.sep not in path[len(ROOT):]


def main():
    build = sys.argv[1]
    jobs = int(sys.argv[sys.argv.index("--jobs") + 1]) if "--jobs" in sys.argv else 2
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = [e for e in json.load(f) if ours(e["file"])]
    commands = [(e, clang_command(e)) for e in entries]
    commands = [(e, c) for e, c in commands if c]
    if not commands:
        print("clang-check: no sources of ours in %s" % build)
        return 1

    def run(item):
        entry, command = item
        result = subprocess.run(command, cwd=entry["directory"], capture_output=True, text=True)
        return entry["file"], result.returncode, result.stderr

    failed = 0
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        for source, code, errors in pool.map(run, commands):
            if code != 0:
                failed += 1
                print("FAIL %s\n%s" % (os.path.relpath(source, ROOT), errors.rstrip()))
    print("clang-check: %d of %d sources compiled clean with clang -Wall -Wextra -Werror (%s)"
          % (len(commands) - failed, len(commands), os.path.basename(os.path.abspath(build))))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
