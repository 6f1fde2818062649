#!/usr/bin/env python3
"""Static checks of Brellcfg.exe: machine, subsystem, manifest, version
block and icon group. Its size and imports are held with every shipped
binary's (tests/static/check_shipped.py).
Usage: check_binary.py EXE [x86|x64] (x86 by default; x64 differs in machine
and manifest architecture)."""
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'static'))
from pe import PeFile, version_nodes  # noqa: E402

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def version_strings(block):
    """The fixed part, the string tables and the translations of a version
    block."""
    (_, fixed, children), _ = version_nodes(block)
    tables, translations = {}, []
    for key, _, kids in children:
        if key == 'StringFileInfo':
            for table, _, entries in kids:
                tables[table.upper()] = {k: v for k, v, _ in entries}
        elif key == 'VarFileInfo':
            for k, value, _ in kids:
                if k == 'Translation':
                    translations.extend(struct.unpack('<%dH' % (len(value) // 2), value))
    return struct.unpack_from('<13I', fixed) if len(fixed) >= 52 else None, tables, translations


def main():
    path = sys.argv[1]
    arch = sys.argv[2] if len(sys.argv) > 2 else 'x86'
    machine, magic, manifest_arch = (0x14C, 0x10B, 'x86') if arch == 'x86' else (0x8664, 0x20B, 'amd64')
    try:
        data = open(path, 'rb').read()
    except OSError as e:
        print('FAIL: %s cannot be read (%s); build the x86 preset first' % (path, e.strerror))
        return 1
    pe = PeFile(path)
    check(pe.machine == machine, 'machine is %#x, not %#x' % (pe.machine, machine))
    check(pe.magic == magic, 'optional header magic %#x, not %#x' % (pe.magic, magic))
    check(pe.subsystem == 2, 'subsystem %d, not Windows GUI (2)' % pe.subsystem)

    res = pe.resources()
    manifests = {k: v for k, v in res.items() if k[0] == 24}
    check(list(manifests) == [(24, 1, 1033)], 'manifests: %s, want exactly id 1 language 1033' % list(manifests))
    text = manifests.get((24, 1, 1033), b'').decode('utf-8', 'replace')
    identities = re.findall(r'<assemblyIdentity\b[^>]*>', text)
    check(len(identities) == 2, 'want the program identity and the common controls dependency')
    if len(identities) == 2:
        own, cc = identities
        for attr in ('type="win32"', 'version="0.0.0.140"', f'processorArchitecture="{manifest_arch}"'):
            check(attr in own, 'program identity lacks %s' % attr)
        for attr in ('name="Microsoft.Windows.Common-Controls"', 'version="6.0.0.0"', 'type="win32"',
                     f'processorArchitecture="{manifest_arch}"', 'publicKeyToken="6595b64144ccf1df"'):
            check(attr in cc, 'common controls dependency lacks %s' % attr)
    check(re.search(r'requestedExecutionLevel\s+level="highestAvailable"\s+uiAccess="false"', text) is not None,
          'execution level is not highestAvailable without uiAccess')
    for os_id in ('{e2011457-1546-43c5-a5fe-008deee3d3f0}', '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}'):
        check(('supportedOS Id="%s"' % os_id) in text, 'no supportedOS %s' % os_id)
    check('dpiAware' not in text and 'dpiAwareness' not in text, 'the manifest declares dpi awareness')
    check('<description>' in text, 'no description element')

    versions = {k: v for k, v in res.items() if k[0] == 16}
    check(list(versions) == [(16, 1, 1033)], 'version resources: %s' % list(versions))
    if (16, 1, 1033) in versions:
        fixed, tables, translations = version_strings(versions[(16, 1, 1033)])
        check(fixed is not None and fixed[0] == 0xFEEF04BD, 'no fixed version part')
        if fixed:
            check(fixed[2:6] == (0x10000, 13, 0x10000, 13), 'file or product version not 1.0.0.13')
            check(fixed[6] == 0x3F and fixed[7] == 0, 'flags mask/flags not 0x3F/0')
            check(fixed[8] == 0x4 and fixed[9] == 0x1 and fixed[10] == 0, 'not VOS__WINDOWS32 / VFT_APP / no subtype')
        check(list(tables) == ['040904E4'], 'string tables: %s' % list(tables))
        strings = tables.get('040904E4', {})
        check(strings.get('FileDescription') == 'Brellow Options', 'FileDescription %r' % strings.get('FileDescription'))
        check(strings.get('FileVersion') == '1.0.0.13', 'FileVersion %r' % strings.get('FileVersion'))
        check(strings.get('ProductVersion') == '1.0.0.0', 'ProductVersion %r' % strings.get('ProductVersion'))
        check(bool(strings.get('CompanyName')), 'no CompanyName')
        for key in ('InternalName', 'LegalCopyright', 'OriginalFilename', 'ProductName'):
            check(key in strings, 'no %s entry' % key)
        check(translations == [0x0409, 0x04E4], 'translation %s' % translations)

    groups = {k: v for k, v in res.items() if k[0] == 14}
    check([k[1] for k in groups] == ['MAINICON'], 'icon groups: %s' % [k[1] for k in groups])
    for key, group in groups.items():
        _, gtype, count = struct.unpack_from('<HHH', group, 0)
        check(gtype == 1, 'MAINICON is not an icon group')
        images = set()
        for i in range(count):
            w, h, _, _, _, bpp, size, icon_id = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
            images.add((w or 256, h or 256, bpp))
            icon = res.get((3, icon_id, key[2]))
            check(icon is not None and len(icon) == size, 'icon image %d missing or of the wrong size' % icon_id)
        want = {(64, 64, 32)} | {(s, s, b) for s in (48, 32, 16) for b in (4, 8, 32)}
        check(count == 10 and images == want, 'MAINICON images %s' % sorted(images))

    for f in failures:
        print('FAIL:', f)
    if not failures:
        print('ok: %s (%d bytes)' % (path, len(data)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
