#!/usr/bin/env python3
"""Static checks of Brellcmd.dll, the top-level paste command: machine, the
two exports, its icon and version. Its size and imports are held with every
shipped binary's (tests/static/check_shipped.py).

Usage: check_command_dll.py DLL x86|x64 IDENTITY_INI
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "static"))
from pe import PeFile, version_nodes  # noqa: E402

DLL = ARCH = IDENTITY = None


def identity():
    values = {}
    with open(IDENTITY, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.lstrip().startswith(";"):
                key, value = line.strip().split("=", 1)
                values[key] = value
    return values


class CommandDllChecks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = PeFile(DLL)
        cls.res = cls.pe.resources()

    def test_machine(self):
        self.assertEqual({"x86": 0x14C, "x64": 0x8664}[ARCH], self.pe.machine)

    def test_exports_only_what_com_asks_for(self):
        name, base, count, table = self.pe.exports()
        self.assertEqual("Brellcmd.DLL", name)
        self.assertEqual({"DllCanUnloadNow": 1, "DllGetClassObject": 2}, table)

    def test_icon_the_command_names(self):
        # CPasteCommand::kIconId: group icon 101 with the menu's sizes.
        groups = {n for (t, n, _) in self.res if t == 14}
        self.assertEqual({101}, groups)
        group = [v for (t, n, _), v in self.res.items() if t == 14][0]
        count = int.from_bytes(group[4:6], "little")
        sizes = {group[6 + 14 * i] or 256 for i in range(count)}
        self.assertLessEqual({16, 24, 32, 48}, sizes)

    def test_version_is_the_packages(self):
        (key, _, children), _ = version_nodes(self.res[(16, 1, 0x0409)])
        table = [c for c in children if c[0] == "StringFileInfo"][0][2][0]
        values = {k: v for k, v, _ in table[2]}
        self.assertEqual(identity()["Version"], values["ProductVersion"])
        self.assertEqual("Brellcmd.dll", values["OriginalFilename"])


if __name__ == "__main__":
    DLL, ARCH, IDENTITY = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1], verbosity=2)
