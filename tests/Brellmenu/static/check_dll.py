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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "static"))
from pe import PeFile, version_nodes  # noqa: E402

DLL = None
RES_DIR = None


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
