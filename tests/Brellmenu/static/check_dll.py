#!/usr/bin/env python3
"""Static checks of the shipped (x86) Brellmenu.dll: machine, exports,
imports and resources, read straight from the PE file.

Usage: check_dll.py DLL RES_DIR
RES_DIR holds the registry scripts the resources must match byte for byte.
"""
import os
import struct
import sys
import unittest

DLL = None
RES_DIR = None

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll",
               "ole32.dll", "oleaut32.dll", "msvcrt.dll"}


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        assert d[pe:pe + 4] == b"PE\0\0", "no PE signature"
        (self.machine, nsections, _, _, _, optsize, _) = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", d, opt)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.dirs = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + optsize
        for i in range(nsections):
            _, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", d, sec + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def off(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("rva %#x outside every section" % rva)

    def cstr(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("ascii")

    def exports(self):
        rva, _ = self.dirs[0]
        (_, _, _, _, name, base, nfunc, nnames, funcs, names, ords) = struct.unpack_from(
            "<IIHHIIIIIII", self.data, self.off(rva))
        table = {}
        for i in range(nnames):
            nrva = struct.unpack_from("<I", self.data, self.off(names) + 4 * i)[0]
            ordinal = struct.unpack_from("<H", self.data, self.off(ords) + 2 * i)[0] + base
            table[self.cstr(nrva)] = ordinal
        return self.cstr(name), base, nfunc, table

    def imports(self):
        """[(dll, [name or ordinal, ...])] in descriptor order."""
        rva, _ = self.dirs[1]
        o = self.off(rva)
        wide = self.magic == 0x20B  # 64-bit thunks
        size, fmt, by_ordinal = (8, "<Q", 1 << 63) if wide else (4, "<I", 0x80000000)
        found = []
        while True:
            desc = struct.unpack_from("<IIIII", self.data, o)
            if not any(desc):
                return found
            thunks = self.off(desc[0] or desc[4])
            items = []
            while True:
                t = struct.unpack_from(fmt, self.data, thunks)[0]
                if t == 0:
                    break
                items.append(t & 0xFFFF if t & by_ordinal else self.cstr((t & 0x7FFFFFFF) + 2))
                thunks += size
            found.append((self.cstr(desc[3]), items))
            o += 20

    def resources(self):
        """{(type, name, language): bytes}; names are ints or strings."""
        base_rva, _ = self.dirs[2]
        base = self.off(base_rva)
        d = self.data

        def entries(dir_off):
            named, ids = struct.unpack_from("<HH", d, dir_off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", d, dir_off + 16 + 8 * i)
                if name & 0x80000000:
                    so = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", d, so)[0]
                    key = d[so + 2:so + 2 + 2 * length].decode("utf-16-le")
                else:
                    key = name
                yield key, target

        out = {}
        for t, t_target in entries(base):
            for n, n_target in entries(base + (t_target & 0x7FFFFFFF)):
                for lang, l_target in entries(base + (n_target & 0x7FFFFFFF)):
                    data_rva, size, _, _ = struct.unpack_from("<IIII", d, base + l_target)
                    o = self.off(data_rva)
                    out[(t, n, lang)] = d[o:o + size]
        return out


def version_nodes(blob, offset=0):
    """Parses one VERSIONINFO node: (key, value, children)."""
    length, value_length, value_type = struct.unpack_from("<HHH", blob, offset)
    end = offset + length
    p = offset + 6
    key_end = p
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[p:key_end].decode("utf-16-le")
    p = (key_end + 2 + 3) & ~3
    if value_type == 1:
        value = blob[p:p + 2 * value_length].decode("utf-16-le").rstrip("\0")
        p += 2 * value_length
    else:
        value = blob[p:p + value_length]
        p += value_length
    p = (p + 3) & ~3
    children = []
    while p < end:
        child, p_next = version_nodes(blob, p)
        children.append(child)
        p = (p_next + 3) & ~3
    return (key, value, children), end


class StaticChecks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = PeFile(DLL)
        cls.res = cls.pe.resources()

    def test_is_a_32_bit_x86_dll(self):
        self.assertEqual(0x14C, self.pe.machine)
        self.assertEqual(0x10B, self.pe.magic)

    def test_exports_by_name_with_ordinals_one_to_five(self):
        name, base, count, table = self.pe.exports()
        self.assertEqual("Brellmenu.DLL", name)
        self.assertEqual(1, base)
        self.assertEqual(5, count)
        self.assertEqual({"DllCanUnloadNow": 1, "DllGetClassObject": 2, "DllInstall": 3,
                          "DllRegisterServer": 4, "DllUnregisterServer": 5}, table)

    def test_imports_system_dlls_only(self):
        imported = {n.lower() for n, _ in self.pe.imports()}
        self.assertTrue(imported, "no imports found")
        self.assertLessEqual(imported, SYSTEM_DLLS)

    def test_shell_id_lists_and_automation_by_ordinal(self):
        by_dll = {}
        for dll, items in self.pe.imports():
            by_dll.setdefault(dll.lower(), []).extend(items)
        shell = by_dll["shell32.dll"]
        self.assertIn(18, shell)
        self.assertIn(155, shell)
        self.assertNotIn("ILClone", shell)
        self.assertNotIn("ILFree", shell)
        self.assertTrue(all(isinstance(i, int) for i in by_dll["oleaut32.dll"]), by_dll["oleaut32.dll"])
        for ordinal in (2, 6, 7, 161, 163, 186, 277):
            self.assertIn(ordinal, by_dll["oleaut32.dll"])

    def test_resource_types_ids_and_languages(self):
        self.assertEqual({("REGISTRY", 101, 0x0409), ("REGISTRY", 102, 0x0402),
                          ("REGISTRY", 103, 0x0409), ("TYPELIB", 1, 0x0409), (6, 7, 0x0409), (16, 1, 0x0409),
                          (24, 2, 0x0409)}, set(self.res))

    def test_registry_scripts_are_the_exact_texts(self):
        for rid, lang, name in ((101, 0x0409, "AppID.rgs"), (102, 0x0402, "BrellowShellMenu.rgs"),
                                (103, 0x0409, "BrellowShellMenuClass.rgs")):
            with open(os.path.join(RES_DIR, name), "rb") as f:
                expected = f.read()
            data = self.res[("REGISTRY", rid, lang)]
            self.assertEqual(expected, data, name)
            self.assertNotIn(b"\n", data.replace(b"\r\n", b""), name + ": bare line end")
            for line in data.split(b"\r\n"):
                indent = line[:len(line) - len(line.lstrip())]
                self.assertEqual(b"\t" * len(indent), indent, name + ": indented with blanks")
        self.assertTrue(self.res[("REGISTRY", 101, 0x0409)].endswith(b"}\r\n"))
        self.assertTrue(self.res[("REGISTRY", 102, 0x0402)].endswith(b"\t}\r\n}"))

    def test_class_key_script_is_the_class_scripts_clsid_block(self):
        # Unregistering beside the other build runs 103 instead of 102: it
        # must remove exactly the class key that 102 writes.
        whole = self.res[("REGISTRY", 102, 0x0402)]
        block = whole[:whole.index(b"\r\n\r\n\tNoRemove Directory")]
        self.assertEqual(block + b"\r\n}\r\n", self.res[("REGISTRY", 103, 0x0409)])

    def test_type_library_is_for_32_bit_windows(self):
        tlb = self.res[("TYPELIB", 1, 0x0409)]
        self.assertEqual(b"MSFT", tlb[:4])
        lcid, _, varflags = struct.unpack_from("<III", tlb, 12)
        self.assertEqual(0x0409, lcid)
        self.assertEqual(1, varflags & 0xF, "SYS_WIN32")
        for text in (b"BrellmenuLib", b"BrellowShellMenu", b"IBrellowShellMenu", b"stdole2.tlb"):
            self.assertIn(text, tlb)

    def test_string_table_names_the_project(self):
        block = self.res[(6, 7, 0x0409)]
        strings, p = [], 0
        for _ in range(16):
            n = struct.unpack_from("<H", block, p)[0]
            strings.append(block[p + 2:p + 2 + 2 * n].decode("utf-16-le"))
            p += 2 + 2 * n
        self.assertEqual("Brellmenu", strings[100 % 16])

    def test_version_block(self):
        (key, fixed, children), _ = version_nodes(self.res[(16, 1, 0x0409)])
        self.assertEqual("VS_VERSION_INFO", key)
        f = struct.unpack_from("<13I", fixed)
        self.assertEqual(0xFEEF04BD, f[0])
        self.assertEqual((0x00010001, 0x00000002), f[2:4])
        self.assertEqual((0x00010000, 0x00000001), f[4:6])
        self.assertEqual((0x3F, 0, 0x4, 0x2), f[6:10])
        string_info = [c for c in children if c[0] == "StringFileInfo"][0]
        table = string_info[2][0]
        self.assertEqual("040904e4", table[0])
        values = {k: v for k, v, _ in table[2]}
        for k, v in {"FileDescription": "Brellow ShExt", "FileVersion": "1.1.0.2",
                     "InternalName": "Brellmenu.dll", "OriginalFilename": "Brellmenu.dll",
                     "ProductName": "Brellow", "ProductVersion": "1.0.0.1"}.items():
            self.assertEqual(v, values.get(k), k)
        self.assertTrue(values.get("CompanyName"))
        self.assertTrue(values.get("LegalCopyright"))

    def test_manifest_asks_for_as_invoker(self):
        text = self.res[(24, 2, 0x0409)].decode("utf-8")
        self.assertIn('<requestedExecutionLevel level="asInvoker" uiAccess="false"/>', text)


if __name__ == "__main__":
    DLL, RES_DIR = sys.argv[1], sys.argv[2]
    if not os.path.exists(DLL):
        sys.exit("no x86 build at %s (build the x86 preset first)" % DLL)
    unittest.main(argv=sys.argv[:1], verbosity=2)
