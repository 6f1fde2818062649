"""Reads what the static checks look at in a PE file (a Windows program or
DLL of either architecture): headers, exports, imports, resources and the
version block. One reader for every check of the project's binaries."""
import struct

MACHINES = {"x86": (0x14C, 0x10B), "x64": (0x8664, 0x20B)}  # machine, optional header magic

class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        assert d[pe:pe + 4] == b"PE\0\0", "no PE signature"
        (self.machine, nsections, _, _, _, optsize, self.characteristics) = struct.unpack_from(
            "<HHIIIHH", d, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", d, opt)[0]
        self.subsystem = struct.unpack_from("<H", d, opt + 68)[0]
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
