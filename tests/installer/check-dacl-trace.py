#!/usr/bin/env python3
"""Checks, in a wineserver request trace (wineserver -d1), the security
descriptor that the installer handed to the system for its folder:

- set on the folder itself, with PROTECTED_DACL_SECURITY_INFORMATION and
  DACL_SECURITY_INFORMATION, and owner Administrators when an owner is set;
- its own entries: Administrators and SYSTEM full control, Users read and
  execute, each inherited by files and subfolders; nothing else;
- no entry lets Users, Authenticated Users, Everyone or INTERACTIVE write;
- all of it before the first file is created in the folder.

Wine's SetNamedSecurityInfoW appends the parent's inheritable entries (marked
INHERITED_ACE) even to a protected DACL, where Windows adds none; those are
Wine's and not looked at.

Usage: check-dacl-trace.py TRACE FOLDER (a Windows path such as C:\\Tools\\X)
"""
import re
import sys

REQUEST = re.compile(r"^([0-9a-f]{4,8}): (\w+)\( (.*) \)$")
REPLY = re.compile(r"^([0-9a-f]{4,8}): (\w+)\(\) = (\w+)(?: \{ (.*) \})?$")
NAME = re.compile(r'name=L"((?:[^"\\]|\\.)*)"')
HANDLE = re.compile(r"handle=([0-9a-f]+)")
ACE = re.compile(r"\{type=(\w+),flags=([0-9a-f]+),mask=([0-9a-f]+),sid=([^}]+)\}")

ADMINISTRATORS = "S-1-5-32-544"
SYSTEM = "S-1-5-18"
USERS = "S-1-5-32-545"
EVERYBODY = {USERS, "S-1-5-11", "S-1-1-0", "S-1-5-4"}
FULL = 0x1F01FF
READ_EXECUTE = 0x1200A9
OICI = 0x3
INHERITED = 0x10
# FILE_WRITE_DATA, FILE_APPEND_DATA, FILE_WRITE_EA, FILE_DELETE_CHILD,
# FILE_WRITE_ATTRIBUTES, DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_ALL,
# GENERIC_WRITE
WRITE_RIGHTS = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000
PROTECTED_DACL = 0x80000000
DACL_INFO = 0x4


def unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def normal(path):
    path = unescape(path)
    if path.startswith("\\??\\"):
        path = path[4:]
    return path.rstrip("\\").lower()


def main():
    trace_path, folder = sys.argv[1], sys.argv[2]
    folder = folder.rstrip("\\").lower()
    pending = {}   # thread -> name of its last create/open request
    handles = {}   # (thread, handle) -> name
    sets = []      # (line, name, request text)
    first_inside = None
    with open(trace_path, encoding="utf-8", errors="replace") as trace:
        for number, line in enumerate(trace, 1):
            line = line.rstrip("\n")
            m = REQUEST.match(line)
            if m:
                thread, request, args = m.groups()
                if request in ("create_file", "open_file_object"):
                    n = NAME.search(args)
                    name = normal(n.group(1)) if n else ""
                    pending[thread] = name
                    if first_inside is None and name.startswith(folder + "\\"):
                        first_inside = number
                elif request == "set_security_object":
                    h = HANDLE.search(args)
                    name = handles.get((thread, h.group(1)) if h else None, "")
                    sets.append((number, name, args))
                continue
            m = REPLY.match(line)
            if m:
                thread, request, status, result = m.groups()
                if request in ("create_file", "open_file_object") and status == "0" and result:
                    h = HANDLE.search(result)
                    if h:
                        handles[(thread, h.group(1))] = pending.get(thread, "")

    on_folder = [s for s in sets if s[1] == folder]
    if not on_folder:
        print("check-dacl-trace: no security descriptor was set on %s" % folder)
        return 1
    number, _, args = on_folder[0]
    print("check-dacl-trace: line %d: set_security_object( %s )" % (number, args))
    problems = []
    info = int(re.search(r"security_info=([0-9a-f]+)", args).group(1), 16)
    if not info & DACL_INFO:
        problems.append("no DACL is set")
    if not info & PROTECTED_DACL:
        problems.append("the DACL is not protected: the parent's entries would be inherited")
    owner = re.search(r"owner=([^,]+)", args).group(1)
    if info & 0x1 and owner != ADMINISTRATORS:
        problems.append("owner %s, not Administrators" % owner)
    dacl = args[args.index("dacl=") :]
    own = []
    for kind, flags, mask, sid in ACE.findall(dacl):
        flags, mask = int(flags, 16), int(mask, 16)
        if flags & INHERITED:
            continue
        own.append((kind, flags, mask, sid))
    expected = [
        ("ACCESS_ALLOWED", OICI, FULL, ADMINISTRATORS),
        ("ACCESS_ALLOWED", OICI, FULL, SYSTEM),
        ("ACCESS_ALLOWED", OICI, READ_EXECUTE, USERS),
    ]
    if sorted(own) != sorted(expected):
        problems.append("the folder's own entries are %s, expected %s" % (own, expected))
    for kind, flags, mask, sid in own:
        if kind == "ACCESS_ALLOWED" and sid in EVERYBODY and mask & WRITE_RIGHTS:
            problems.append("%s may write (mask %08x)" % (sid, mask))
    if first_inside is not None and first_inside < number:
        problems.append("a file was created in the folder (line %d) before its DACL was set" % first_inside)
    if first_inside is None:
        problems.append("no file was created in the folder at all")
    for problem in problems:
        print("check-dacl-trace: " + problem)
    if not problems:
        print("check-dacl-trace: %s: protected, Administrators and SYSTEM full control, Users read and execute, "
              "set before the first file (line %d)" % (folder, first_inside))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
