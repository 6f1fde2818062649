#!/usr/bin/env python3
"""A second compiler and a static analyser on the code of a build tree, for
the same mingw target, from the tree's compile_commands.json:

  clang_check.py BUILD_DIR compile [--jobs N]
      every product and test source compiled again with clang, syntax only,
      -Wall -Wextra -Werror (GoogleTest's own sources are left out);
  clang_check.py BUILD_DIR tidy [--jobs N]
      clang-tidy with the checks of .clang-tidy on every product source
      (Brellmenu, Brellcfg, brellow, tools).

Sources are checked N at a time (default: one per core this process may
run on). Exit code 0 when nothing was found."""
import argparse
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
    return ["--target=" + triple, "-nostdinc++", "-isystem" + cxx, "-isystem" + cxx + "/" + triple,
            "-isystem" + cxx + "/backward"]


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


PRODUCT = ("Brellmenu", "Brellcfg", "brellow", "tools")


def ours(path):
    path = os.path.realpath(path)
    return path.startswith(ROOT + os.sep) and os.sep + "build" + os.sep not in path[len(ROOT):]


def product(path):
    return os.path.relpath(os.path.realpath(path), ROOT).split(os.sep)[0] in PRODUCT


def tidy_command(entry, build):
    compiler = os.path.basename((entry.get("arguments") or shlex.split(entry["command"]))[0])
    triple = next((t for p, t in TRIPLES.items() if compiler.startswith(p)), None)
    if triple is None:
        return None
    extra = ["--extra-arg=" + flag for flag in mingw_flags(triple)]
    return ["clang-tidy", "-p", build, "--quiet"] + extra + [entry["file"]]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("mode", choices=("compile", "tidy"))
    parser.add_argument("--jobs", type=int, default=len(os.sched_getaffinity(0)))
    args = parser.parse_args()
    build, mode, jobs = args.build, args.mode, args.jobs
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = [e for e in json.load(f) if ours(e["file"])]
    if mode == "tidy":
        seen = set()
        entries = [e for e in entries if product(e["file"]) and not (e["file"] in seen or seen.add(e["file"]))]
        commands = [(e, tidy_command(e, build)) for e in entries]
    else:
        commands = [(e, clang_command(e)) for e in entries]
    commands = [(e, c) for e, c in commands if c]
    if not commands:
        print("clang-check: no sources of ours in %s" % build)
        return 1

    def run(item):
        entry, command = item
        result = subprocess.run(command, cwd=entry["directory"], capture_output=True, text=True)
        # clang-tidy prints its findings on standard output.
        return entry["file"], result.returncode, (result.stdout + result.stderr).strip()

    failed = 0
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        for source, code, errors in pool.map(run, commands):
            if code != 0:
                failed += 1
                print("FAIL %s\n%s" % (os.path.relpath(source, ROOT), errors.rstrip()))
    what = "had no clang-tidy finding" if mode == "tidy" else "compiled clean with clang -Wall -Wextra -Werror"
    print("clang_check: %d of %d sources %s (%s)"
          % (len(commands) - failed, len(commands), what, os.path.basename(os.path.abspath(build))))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
