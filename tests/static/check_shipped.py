#!/usr/bin/env python3
"""Holds every shipped binary of one build to its budget: the file's size,
the machine, system DLLs only among its imports, and no posix thread
library carried along (the binaries start Windows threads only).

Usage: check_shipped.py BIN_DIR x86|x64
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe import MACHINES, PeFile  # noqa: E402

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll",
               "comctl32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll"}
KIB = 1024
GUI, CONSOLE = 2, 3

# (file, budget in bytes, subsystem of a program or None for a DLL). The
# x86 menu DLL is held to 100 KiB and the top-level command to 100 KiB, the
# x86 right-drag menu too (the x64 one 10 % above its first size);
# Brellcfg keeps its 200 KiB; the others are 10 % above their size when the
# budgets were set (the builds of the posix thread model).
BUDGETS = {
    "x86": [
        ("Brellmenu.dll", 100 * KIB, None),
        ("Brellcmd.dll", 100 * KIB, None),
        ("Brelldrop.dll", 100 * KIB, None),
        ("Brellcfg.exe", 200 * KIB, GUI),
        ("brellow.exe", 343 * KIB, GUI),
        ("regscript.exe", 201 * KIB, CONSOLE),
    ],
    "x64": [
        ("Brellmenu.dll", 97 * KIB, None),
        ("Brellcmd.dll", 100 * KIB, None),
        ("Brelldrop.dll", 68 * KIB, None),
        ("Brellcfg.exe", 154 * KIB, GUI),
        ("brellow.exe", 256 * KIB, GUI),
        ("regscript.exe", 162 * KIB, CONSOLE),
    ],
}
DLL_FLAG = 0x2000


def problems(path, budget, subsystem, arch):
    if not os.path.exists(path):
        return ["not built"]
    pe = PeFile(path)
    found = []
    size = len(pe.data)
    if size > budget:
        found.append("%d bytes, over its budget of %d" % (size, budget))
    if (pe.machine, pe.magic) != MACHINES[arch]:
        found.append("machine %#x, not %s" % (pe.machine, arch))
    if subsystem is None and not pe.characteristics & DLL_FLAG:
        found.append("not a DLL")
    if subsystem is not None and pe.subsystem != subsystem:
        found.append("subsystem %d, not %d" % (pe.subsystem, subsystem))
    for dll, _ in pe.imports():
        if dll.lower() not in SYSTEM_DLLS:
            found.append("imports %s, not a system DLL" % dll)
    if b"winpthread" in pe.data.lower():
        found.append("carries the posix thread library (winpthread)")
    return found


def main():
    bin_dir, arch = sys.argv[1], sys.argv[2]
    failed = False
    for name, budget, subsystem in BUDGETS[arch]:
        path = os.path.join(bin_dir, name)
        found = problems(path, budget, subsystem, arch)
        for problem in found:
            print("FAIL: %s %s: %s" % (arch, name, problem))
        if not found:
            print("ok: %s %-14s %7d of %7d bytes" % (arch, name, os.path.getsize(path), budget))
        failed = failed or bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
