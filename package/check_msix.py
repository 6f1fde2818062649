#!/usr/bin/env python3
"""Checks a package against the layout the platform's packer writes, on its
own reading of the bytes (nothing here comes from make_msix.py). Usage:

    check_msix.py PACKAGE [--cert CERT] [--identity IDENTITY.ini]

Checked: the ZIP64 end records and central directory; each file's local
header (fixed fields, no sizes, LfhSize), its data and ZIP64 data
descriptor, back to back with nothing hidden between; the order (payload
with AppxManifest.xml, then AppxBlockMap.xml, then [Content_Types].xml, then
AppxSignature.p7x once signed); every block of the block map (SHA-256 of
each 64 KiB, compressed size for DEFLATE, none for stored files, each
compressed block inflating on its own); a content type for every part;
.png stored. With --cert (DER or PEM) the manifest's Publisher must be the
certificate's subject as Windows writes it, most specific part first; with
--identity the manifest must carry identity.ini's name, publisher, version
and class id. Prints every fault as "FAIL [rule] ..." and exits 1 on any."""
import argparse
import base64
import hashlib
import os
import re
import struct
import sys
import zlib
from xml.etree import ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import identity  # noqa: E402  (the reader of identity.ini, nothing of the packer)

PNG_SIGNATURE = b'\x89PNG\r\n\x1a\n'

BLOCK = 65536
TIME_DATE = (0x6B60, 0xA2B1)
FOOTPRINT = ['AppxBlockMap.xml', '[Content_Types].xml']
SIGNATURE = 'AppxSignature.p7x'
NS = {'b': 'http://schemas.microsoft.com/appx/2010/blockmap',
      't': 'http://schemas.openxmlformats.org/package/2006/content-types',
      'm': 'http://schemas.microsoft.com/appx/manifest/foundation/windows10',
      'uap': 'http://schemas.microsoft.com/appx/manifest/uap/windows10',
      'desktop5': 'http://schemas.microsoft.com/appx/manifest/desktop/windows10/5',
      'com': 'http://schemas.microsoft.com/appx/manifest/com/windows10'}
REQUIRED_TYPES = {'AppxManifest.xml': 'application/vnd.ms-appx.manifest+xml',
                  'AppxBlockMap.xml': 'application/vnd.ms-appx.blockmap+xml',
                  SIGNATURE: 'application/vnd.ms-appx.signature'}
# X.500 attribute names as Windows writes them in a subject.
X500 = {'2.5.4.3': 'CN', '2.5.4.4': 'SN', '2.5.4.5': 'SERIALNUMBER', '2.5.4.6': 'C', '2.5.4.7': 'L',
        '2.5.4.8': 'S', '2.5.4.9': 'STREET', '2.5.4.10': 'O', '2.5.4.11': 'OU', '2.5.4.12': 'T',
        '2.5.4.42': 'G', '2.5.4.43': 'I', '1.2.840.113549.1.9.1': 'E',
        '0.9.2342.19200300.100.1.25': 'DC'}


class Faults(list):
    def add(self, rule, text):
        self.append(f'[{rule}] {text}')


class Entry:
    """A central directory entry and, once read, its file's bytes."""
    def __init__(self, fields, name, extra):
        (_, self.made_by, self.needed, self.flags, self.method, self.time, self.date, self.crc,
         csize, usize, _, _, _, self.disk, self.internal, self.external, offset) = fields
        self.name = name
        self.fields32 = (csize, usize, offset)
        self.extra = extra
        self.usize, self.csize, self.offset = usize, csize, offset
        if extra[:4] == struct.pack('<HH', 1, 24) and len(extra) == 28:
            self.usize, self.csize, self.offset = struct.unpack('<QQQ', extra[4:])
        self.data = None
        self.stored = None


def unpack(fmt, data, pos, what):
    if pos < 0 or pos + struct.calcsize(fmt) > len(data):
        raise ValueError(f'{what} lies outside the file')
    return struct.unpack_from(fmt, data, pos)


def read_directory(data, faults):
    """The entries, from the end records; raises ValueError where the
    archive cannot be read on."""
    eocd = unpack('<IHHHHIIH', data, len(data) - 22, 'end of central directory')
    if eocd[0] != 0x06054B50 or eocd[7] != 0:
        raise ValueError('no end of central directory record (or a comment after it)')
    if eocd[1] != eocd[2] or eocd[1] not in (0, 0xFFFF) or eocd[3:7] != (0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF):
        faults.add('zip64', f'end of central directory does not defer to the ZIP64 record: {eocd[1:7]}')
    locator_at = len(data) - 42
    sig, disk, record_at, disks = unpack('<IIQI', data, locator_at, 'ZIP64 locator')
    if sig != 0x07064B50 or disk != 0 or disks != 1:
        raise ValueError('no ZIP64 end of central directory locator')
    rec = unpack('<IQHHIIQQQQ', data, record_at, 'ZIP64 end of central directory record')
    if rec[0] != 0x06064B50:
        raise ValueError('the locator does not point at a ZIP64 end of central directory record')
    if rec[1:6] != (44, 45, 45, 0, 0) or rec[6] != rec[7] or record_at + 56 != locator_at:
        faults.add('zip64', f'ZIP64 end record {rec[1:8]} at {record_at}, locator at {locator_at}')
    count, size, start = rec[7], rec[8], rec[9]
    if start + size != record_at:
        faults.add('zip64', f'central directory {start}+{size} does not end at the ZIP64 record {record_at}')
    entries, pos = [], start
    for _ in range(count):
        fields = unpack('<IHHHHHHIIIHHHHHII', data, pos, 'central directory entry')
        if fields[0] != 0x02014B50:
            raise ValueError(f'no central directory entry at {pos}')
        name_len, extra_len, comment_len = fields[10:13]
        name = data[pos + 46:pos + 46 + name_len].decode('utf-8')
        extra = data[pos + 46 + name_len:pos + 46 + name_len + extra_len]
        if comment_len:
            faults.add('zip', f'{name}: a file comment')
        entries.append(Entry(fields, name, extra))
        pos += 46 + name_len + extra_len + comment_len
    if pos != start + size:
        faults.add('zip', f'central directory entries end at {pos}, not at {start + size}')
    return entries, start


def read_files(data, entries, directory_start, faults):
    """Each file's local header, data and descriptor, back to back."""
    pos = 0
    for e in entries:
        signed = e.name == SIGNATURE
        if e.offset != pos:
            faults.add('zip', f'{e.name}: local header at {e.offset}, expected at {pos} (data hidden between files?)')
        lfh = unpack('<IHHHHHIIIHH', data, e.offset, f'{e.name} local header')
        name_len, extra_len = lfh[9], lfh[10]
        if lfh[0] != 0x04034B50 or data[e.offset + 30:e.offset + 30 + name_len] != e.name.encode('utf-8'):
            raise ValueError(f'{e.name}: no local header at {e.offset}')
        if lfh[3] != e.method or lfh[2] != e.flags:
            faults.add('zip', f'{e.name}: local header and directory disagree on method or flags')
        if not signed:
            expected = (45, 8, e.method, *TIME_DATE, 0, 0, 0, name_len, 0)
            if lfh[1:] != expected:
                faults.add('lfh', f'{e.name}: local header {lfh[1:]}, expected {expected}')
            directory = (45, 45, 8, *TIME_DATE, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0)
            actual = (e.made_by, e.needed, e.flags, e.time, e.date, *e.fields32, e.disk, e.internal, e.external)
            if actual != directory or len(e.extra) != 28 or e.extra[:4] != struct.pack('<HH', 1, 24):
                faults.add('zip64', f'{e.name}: central directory entry {actual} extra {e.extra.hex()}')
        e.lfh_size = 30 + name_len + extra_len
        begin = e.offset + e.lfh_size
        e.stored = data[begin:begin + e.csize]
        pos = begin + e.csize
        if e.flags & 8:
            dd = unpack('<IIQQ', data, pos, f'{e.name} data descriptor')
            if dd != (0x08074B50, e.crc, e.csize, e.usize):
                faults.add('descriptor', f'{e.name}: data descriptor {dd[1:]}, directory says {(e.crc, e.csize, e.usize)}')
            pos += 24
        elif not signed:
            faults.add('descriptor', f'{e.name}: no data descriptor')
        if e.method == 8:
            z = zlib.decompressobj(-15)
            try:
                e.data = z.decompress(e.stored)
            except zlib.error as err:
                faults.add('deflate', f'{e.name}: {err}')
                e.data = b''
            if not z.eof or z.unused_data:
                faults.add('deflate', f'{e.name}: the DEFLATE stream does not end where the file does')
        elif e.method == 0:
            e.data = e.stored
        else:
            faults.add('zip', f'{e.name}: compression method {e.method}')
            e.data = b''
        if len(e.data) != e.usize or zlib.crc32(e.data) != e.crc:
            faults.add('crc', f'{e.name}: {len(e.data)} bytes with CRC {zlib.crc32(e.data):08x}, '
                              f'directory says {e.usize} bytes, CRC {e.crc:08x}')
    if pos != directory_start:
        faults.add('zip', f'files end at {pos}, the central directory starts at {directory_start}')


def check_order(names, faults):
    payload = [n for n in names if n not in FOOTPRINT + [SIGNATURE]]
    expected = payload + FOOTPRINT + ([SIGNATURE] if SIGNATURE in names else [])
    if names != expected:
        faults.add('order', f'files in the order {names}, expected {expected}')
    if 'AppxManifest.xml' not in payload:
        faults.add('order', 'no AppxManifest.xml')
    for n in sorted({n for n in names if names.count(n) > 1}):
        faults.add('order', f'{n} appears twice')
    return payload


def check_block_map(files, payload, faults):
    root = ElementTree.fromstring(files['AppxBlockMap.xml'].data)
    if root.tag != f'{{{NS["b"]}}}BlockMap' or root.get('HashMethod') != 'http://www.w3.org/2001/04/xmlenc#sha256':
        faults.add('block map', f'root {root.tag} with HashMethod {root.get("HashMethod")}')
    listed = root.findall('b:File', NS)
    names = [f.get('Name', '').replace('\\', '/') for f in listed]
    if names != payload:
        faults.add('block map', f'lists {names}, the payload is {payload}')
    for f in listed:
        e = files.get(f.get('Name', '').replace('\\', '/'))
        if e is None:
            continue
        if f.get('Size') != str(e.usize):
            faults.add('block map', f'{e.name}: Size {f.get("Size")}, the file has {e.usize} bytes')
        if f.get('LfhSize') != str(e.lfh_size):
            faults.add('lfh size', f'{e.name}: LfhSize {f.get("LfhSize")}, the local header has {e.lfh_size} bytes')
        check_blocks(e, f.findall('b:Block', NS), faults)


def check_blocks(e, blocks, faults):
    chunks = [e.data[i:i + BLOCK] for i in range(0, len(e.data), BLOCK)]
    if len(blocks) != len(chunks):
        faults.add('block map', f'{e.name}: {len(blocks)} blocks for {len(chunks)} of 64 KiB')
    pos = 0
    for n, (block, chunk) in enumerate(zip(blocks, chunks)):
        digest = base64.b64encode(hashlib.sha256(chunk).digest()).decode('ascii')
        if block.get('Hash') != digest:
            faults.add('block hash', f'{e.name} block {n}: Hash {block.get("Hash")}, the data hashes to {digest}')
        size = block.get('Size')
        if e.method == 0:
            if size is not None:
                faults.add('block size', f'{e.name} block {n}: a stored block has no Size')
            continue
        if size is None or not size.isdigit():
            faults.add('block size', f'{e.name} block {n}: Size {size!r}')
            return
        piece = e.stored[pos:pos + int(size)]
        pos += int(size)
        z = zlib.decompressobj(-15)
        try:
            alone = z.decompress(piece)
        except zlib.error:
            alone = None
        if alone != chunk or z.unused_data:
            faults.add('block size', f'{e.name} block {n}: the {size} bytes at {pos - int(size)} do not inflate '
                                     f'on their own to the block (Size wrong, or no full flush)')
    if e.method == 8:
        z = zlib.decompressobj(-15)
        try:
            rest = z.decompress(e.stored[pos:])
        except zlib.error:
            rest = None
        if rest != b'' or not z.eof:
            faults.add('block size', f'{e.name}: {len(e.stored) - pos} bytes after the last block are not '
                                     f'just the end of the stream')


def check_content_types(files, faults):
    root = ElementTree.fromstring(files['[Content_Types].xml'].data)
    defaults = {d.get('Extension', '').lower(): d.get('ContentType') for d in root.findall('t:Default', NS)}
    overrides = {o.get('PartName', '').lower(): o.get('ContentType') for o in root.findall('t:Override', NS)}
    for name, e in files.items():
        if name == '[Content_Types].xml':
            continue
        kind = overrides.get('/' + name.lower(), defaults.get(name.rpartition('.')[2].lower()))
        if kind is None:
            faults.add('content type', f'{name}: no content type')
        elif name in REQUIRED_TYPES and kind != REQUIRED_TYPES[name]:
            faults.add('content type', f'{name}: {kind}, expected {REQUIRED_TYPES[name]}')
        if name.lower().endswith('.png'):
            if kind != 'image/png':
                faults.add('content type', f'{name}: {kind}, expected image/png')
            if e.method != 0:
                faults.add('compression', f'{name}: a PNG is stored, not compressed')


def der(data, pos):
    """(tag, start, end) of the DER element at pos."""
    tag, length = data[pos], data[pos + 1]
    pos += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[pos:pos + count], 'big')
        pos += count
    return tag, pos, pos + length


def der_children(data, start, end):
    while start < end:
        tag, s, e = der(data, start)
        yield tag, s, e
        start = e


def oid(raw):
    first, rest = divmod(raw[0], 40) if raw[0] < 80 else (2, raw[0] - 80)
    arcs, value = [first, rest], 0
    for b in raw[1:]:
        value = value << 7 | b & 0x7F
        if not b & 0x80:
            arcs.append(value)
            value = 0
    return '.'.join(map(str, arcs))


def windows_subject(cert):
    """The certificate's subject as Windows writes it: most specific part
    first, ', ' between parts, ' + ' within one, quoted where needed."""
    if cert.lstrip().startswith(b'-----BEGIN'):
        body = b''.join(line for line in cert.splitlines() if line and not line.startswith(b'-----'))
        cert = base64.b64decode(body)
    _, s, _ = der(cert, 0)               # Certificate
    _, s, e = der(cert, s)               # TBSCertificate
    fields = list(der_children(cert, s, e))
    if fields[0][0] == 0xA0:             # [0] version
        fields = fields[1:]
    _, s, e = fields[4]                  # serial, algorithm, issuer, validity, subject
    parts = []
    for _, rs, re_ in der_children(cert, s, e):
        values = []
        for _, ats, ate in der_children(cert, rs, re_):
            (_, os_, oe), (vtag, vs, ve) = list(der_children(cert, ats, ate))
            key = oid(cert[os_:oe])
            codec = {0x1E: 'utf-16-be', 0x1C: 'utf-32-be', 0x14: 'latin-1'}.get(vtag, 'utf-8')
            values.append(f'{X500.get(key, "OID." + key)}={quote(cert[vs:ve].decode(codec))}')
        parts.append(' + '.join(values))
    return ', '.join(reversed(parts))


def quote(value):
    if value == '' or value != value.strip() or any(c in value for c in ',+="<>#;\n'):
        return '"' + value.replace('"', '""') + '"'
    return value


def check_manifest(files, args, faults):
    root = ElementTree.fromstring(files['AppxManifest.xml'].data)
    ident = root.find('m:Identity', NS)
    publisher = ident.get('Publisher') if ident is not None else None
    if args.get('cert'):
        with open(args['cert'], 'rb') as f:
            subject = windows_subject(f.read())
        if publisher != subject:
            faults.add('publisher', f'the manifest says Publisher="{publisher}", the certificate\'s subject is "{subject}"')
    for path in (e.text for e in root.iter(f'{{{NS["m"]}}}Logo')):
        if path and path.strip().replace('\\', '/') not in files:
            faults.add('manifest', f'the logo {path} is not in the package')
    # A logo named by its size (Square44x44Logo) is a PNG of that size.
    for element in root.iter():
        for key, path in element.attrib.items():
            square = re.fullmatch(r'Square(\d+)x(\d+)Logo', key)
            if not square:
                continue
            part = files.get(path.strip().replace('\\', '/'))
            if part is None:
                faults.add('manifest', f'the logo {path} is not in the package')
                continue
            width, height = struct.unpack('>II', part.data[16:24]) if part.data[:8] == PNG_SIGNATURE else (0, 0)
            if (width, height) != (int(square.group(1)), int(square.group(2))):
                faults.add('logo size', f'{key}: {path} is {width}x{height}')
    if args.get('identity'):
        want = identity.read(args['identity'])
        have = {k: ident.get(k) if ident is not None else None for k in ('Name', 'Publisher', 'Version')}
        verbs = [v.get('Clsid', '').upper() for v in root.iter(f'{{{NS["desktop5"]}}}Verb')]
        classes = [c.get('Id', '').upper() for c in root.iter(f'{{{NS["com"]}}}Class')]
        for key, value in have.items():
            if value != want[key]:
                faults.add('identity', f'{key}="{value}" in the manifest, "{want[key]}" in identity.ini')
        if verbs != [want['CommandClassId']] or classes != [want['CommandClassId']]:
            faults.add('identity', f'verb {verbs} and class {classes}, identity.ini says {want["CommandClassId"]}')


def check(path, **args):
    """The faults found in the package at path (empty when it passes)."""
    faults = Faults()
    with open(path, 'rb') as f:
        data = f.read()
    try:
        entries, directory_start = read_directory(data, faults)
        read_files(data, entries, directory_start, faults)
    except ValueError as err:
        faults.add('zip', str(err))
        return faults
    files = {e.name: e for e in entries}
    payload = check_order([e.name for e in entries], faults)
    if SIGNATURE in files and not files[SIGNATURE].data.startswith(b'PKCX'):
        faults.add('signature', f'{SIGNATURE} does not start with its PKCX signature header')
    for name in FOOTPRINT + ['AppxManifest.xml']:
        if name not in files:
            faults.add('order', f'no {name}')
            return faults
    try:
        check_block_map(files, payload, faults)
        check_content_types(files, faults)
        check_manifest(files, args, faults)
    except (ElementTree.ParseError, ValueError, IndexError) as err:
        faults.add('xml', str(err))
    return faults


def main():
    parser = argparse.ArgumentParser(description='Checks a package as the platform\'s packer lays it out.')
    parser.add_argument('package')
    parser.add_argument('--cert', help='the signing certificate (DER or PEM)')
    parser.add_argument('--identity', help='identity.ini')
    args = parser.parse_args()
    faults = check(args.package, cert=args.cert, identity=args.identity)
    for fault in faults:
        print(f'check_msix: {args.package}: FAIL {fault}')
    print(f'check_msix: {args.package}: {"FAILED" if faults else "OK"}')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
