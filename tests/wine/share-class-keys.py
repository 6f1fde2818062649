#!/usr/bin/env python3
"""Makes a booted Wine prefix share HKCR\\Directory and HKCR\\LibraryFolder
between the 32-bit and the 64-bit registry views, as Windows 7 and later do.

Wine 8 redirects every class key for 32-bit programs but for a few it links
(AppID, TypeLib, Protocols); Windows redirects only CLSID, Interface and a few
more, and shares the rest. The shell extension handler keys live under the
shared ones on Windows, so a test prefix that redirects them would hide what
an x86 and an x64 build do to each other's registration. The links are the
same kind of entry Wine itself writes for AppID.

Usage: share-class-keys.py PREFIX (with no wineserver running on it)
"""
import os
import sys

SHARED = ["Directory", "LibraryFolder"]
WOW = "Software\\\\Classes\\\\Wow6432Node\\\\"


def link_value(target):
    data = target.encode("utf-16-le")
    return "hex(6):" + ",".join("%02x" % b for b in data)


def main():
    path = os.path.join(sys.argv[1], "system.reg")
    with open(path, encoding="utf-8", newline="\n") as f:
        text = f.read()
    header, _, body = text.partition("\n\n")
    blocks = body.split("\n\n")

    def key_of(block):
        line = block.lstrip("\n").split("\n", 1)[0]
        if not line.startswith("["):
            return None
        return line[1:line.rindex("]")].lower()

    redirected = [(WOW + name).lower() for name in SHARED]
    kept = []
    present = set()
    for block in blocks:
        key = key_of(block)
        if key is not None and any(key == r or key.startswith(r + "\\\\") for r in redirected):
            continue  # the 32-bit copy goes: the link replaces it
        if key is not None:
            present.add(key)
        kept.append(block)

    stamp = "0"
    for name in SHARED:
        target = "Software\\\\Classes\\\\" + name
        if target.lower() not in present:
            kept.append("[%s] %s\n#time=0" % (target, stamp))
        value = link_value("\\Registry\\Machine\\Software\\Classes\\" + name)
        kept.append('[%s%s] %s\n#time=0\n#link\n"SymbolicLinkValue"=%s' % (WOW, name, stamp, value))

    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(header + "\n\n" + "\n\n".join(b.strip("\n") for b in kept if b.strip()) + "\n")


if __name__ == "__main__":
    main()
