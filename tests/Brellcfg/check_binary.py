#!/usr/bin/env python3
"""Static checks of Brellcfg.exe: machine, subsystem, imports, manifest,
version block, icon group and, for the shipped x86 build, the file's size.
Usage: check_binary.py EXE [x86|x64] (x86 by default; x64 differs in machine
and manifest architecture, and has no size limit)."""
import re
import struct
import sys

SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'comctl32.dll', 'msvcrt.dll',
               'shell32.dll', 'ole32.dll', 'oleaut32.dll', 'ntdll.dll'}

# The shipped program: a window of fifteen controls, five registry values
# and an icon of ten images (about 44 KB of resources) in 200 KiB at most.
MAX_X86_SIZE = 200 * 1024

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


class PE:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('not a PE file')
        self.machine, nsect, _, _, _, optsize, self.characteristics = struct.unpack_from('<HHIIIHH', data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from('<H', data, opt)[0]
        self.subsystem = struct.unpack_from('<H', data, opt + 68)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.dirs = [struct.unpack_from('<II', data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + optsize
        for i in range(nsect):
            name, vsize, va, rawsize, rawptr = struct.unpack_from('<8sIIII', data, sec + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError('rva %#x outside every section' % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b'\0', off)].decode('ascii')

    def imports(self):
        rva, size = self.dirs[1]
        names = []
        off = self.offset(rva)
        while True:
            entry = struct.unpack_from('<IIIII', self.data, off)
            if not any(entry):
                return names
            names.append(self.cstring(entry[3]))
            off += 20

    def resources(self):
        """{(type, name, lang): bytes}; ids as ints, names as str."""
        base_rva = self.dirs[2][0]
        base = self.offset(base_rva)
        out = {}

        def name_of(entry_name):
            if entry_name & 0x80000000:
                off = base + (entry_name & 0x7FFFFFFF)
                n = struct.unpack_from('<H', self.data, off)[0]
                return self.data[off + 2:off + 2 + 2 * n].decode('utf-16-le')
            return entry_name

        def walk(off, path):
            _, _, _, _, named, ids = struct.unpack_from('<IIHHHH', self.data, base + off)
            for i in range(named + ids):
                ename, target = struct.unpack_from('<II', self.data, base + off + 16 + 8 * i)
                key = path + (name_of(ename),)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, key)
                else:
                    rva, size = struct.unpack_from('<II', self.data, base + target)
                    start = self.offset(rva)
                    out[key] = self.data[start:start + size]

        walk(0, ())
        return out


def version_strings(block):
    """The fixed part and the string tables of a VS_VERSIONINFO block."""
    fixed = None
    tables = {}
    translations = []

    def node(off, end, parents):
        nonlocal fixed
        while off < end:
            length, vlen, vtype = struct.unpack_from('<HHH', block, off)
            if length == 0:
                break
            key_start = off + 6
            key_end = key_start
            while block[key_end:key_end + 2] != b'\0\0':
                key_end += 2
            key = block[key_start:key_end].decode('utf-16-le')
            value = (key_end + 2 + 3) & ~3
            child = value
            if key == 'VS_VERSION_INFO':
                fixed = struct.unpack_from('<13I', block, value)
                child = (value + vlen + 3) & ~3
            elif parents and parents[-1] == 'VarFileInfo' and key == 'Translation':
                translations.extend(struct.unpack_from('<%dH' % (vlen // 2), block, value))
                child = off + length
            elif len(parents) >= 2 and parents[-2] == 'StringFileInfo':
                text = block[value:value + 2 * vlen].decode('utf-16-le').rstrip('\0') if vlen else ''
                tables.setdefault(parents[-1], {})[key] = text
                child = off + length
            if child < off + length:
                node(child, off + length, parents + [key])
            off = (off + length + 3) & ~3

    node(0, len(block), [])
    return fixed, tables, translations


def main():
    path = sys.argv[1]
    arch = sys.argv[2] if len(sys.argv) > 2 else 'x86'
    machine, magic, manifest_arch = (0x14C, 0x10B, 'x86') if arch == 'x86' else (0x8664, 0x20B, 'amd64')
    try:
        data = open(path, 'rb').read()
    except OSError as e:
        print('FAIL: %s cannot be read (%s); build the x86 preset first' % (path, e.strerror))
        return 1
    pe = PE(data)
    if arch == 'x86':
        check(len(data) <= MAX_X86_SIZE, 'the file is %d bytes, more than %d' % (len(data), MAX_X86_SIZE))
    check(pe.machine == machine, 'machine is %#x, not %#x' % (pe.machine, machine))
    check(pe.magic == magic, 'optional header magic %#x, not %#x' % (pe.magic, magic))
    check(pe.subsystem == 2, 'subsystem %d, not Windows GUI (2)' % pe.subsystem)
    for dll in pe.imports():
        check(dll.lower() in SYSTEM_DLLS, 'imports %s, not a system DLL' % dll)

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
