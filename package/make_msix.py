#!/usr/bin/env python3
"""Packs the sparse package the way the platform's packer lays it out, from
identity.ini and the manifest template. Usage:

    make_msix.py IDENTITY.ini TEMPLATE.xml OUTDIR

writes into OUTDIR the filled-in AppxManifest.xml, the logo it names, the
unsigned package Brellow.unsigned.msix (signed by build-package.sh into
Brellow.msix) and PackageIdentity.nsh, the installer's view of the identity.

The package is a ZIP64 archive: every file (the payload, AppxManifest.xml
last, then AppxBlockMap.xml, then [Content_Types].xml) is a local header
without sizes, the data and a data descriptor with ZIP64 sizes; the central
directory gives the sizes and offsets in a ZIP64 extra field. Compressed
files are raw DEFLATE with a full flush after every 64 KiB of input, so that
each block the block map lists can be inflated on its own. Times and order
are fixed, so the same inputs give the same bytes."""
import base64
import hashlib
import os
import re
import struct
import sys
import zlib
from xml.etree import ElementTree
from xml.sax.saxutils import escape, quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, '..', 'Brellcfg', 'res'))
import identity  # noqa: E402
import make_icon  # noqa: E402  (the product's tile, drawn for Brellcfg's icon)

UNSIGNED = 'Brellow.unsigned.msix'
PACKAGE = 'Brellow.msix'
CERTIFICATE = 'brellow-package.cer'
MANIFEST = 'AppxManifest.xml'
BLOCK_MAP = 'AppxBlockMap.xml'
CONTENT_TYPES = '[Content_Types].xml'
# The size of a logo the manifest names without one in its attribute's name
# (the package's own Logo).
LOGO_SIZE = 150

BLOCK = 65536
STORED, DEFLATED = 0, 8
ZIP64_VERSION = 45          # version needed (and made by): ZIP64 extensions
HAS_DESCRIPTOR = 0x0008     # general purpose bit 3: sizes follow the data
DOS_TIME, DOS_DATE = 0x6B60, 0xA2B1   # the packer's fixed timestamp
NO_VALUE16, NO_VALUE32 = 0xFFFF, 0xFFFFFFFF   # "see the ZIP64 record"

SHA256_URI = 'http://www.w3.org/2001/04/xmlenc#sha256'
BLOCK_MAP_NS = 'http://schemas.microsoft.com/appx/2010/blockmap'
CONTENT_TYPES_NS = 'http://schemas.openxmlformats.org/package/2006/content-types'
MANIFEST_TYPE = 'application/vnd.ms-appx.manifest+xml'
BLOCK_MAP_TYPE = 'application/vnd.ms-appx.blockmap+xml'
# Content type and whether to compress, by extension; others are
# application/octet-stream, compressed. Images already compressed are stored.
BY_EXTENSION = {
    'png': ('image/png', False),
    'jpg': ('image/jpeg', False),
    'dll': ('application/x-msdownload', True),
    'exe': ('application/x-msdownload', True),
    'xml': ('text/xml', True),
}


class Part:
    """One file of the package: its bytes as stored and its block list."""

    def __init__(self, name, data, compress, content_type):
        self.name = name
        self.data = data
        self.content_type = content_type
        self.method = DEFLATED if compress else STORED
        self.crc = zlib.crc32(data)
        hashes = [base64.b64encode(hashlib.sha256(data[i:i + BLOCK]).digest()).decode('ascii')
                  for i in range(0, len(data), BLOCK)]
        if compress:
            self.stored, sizes = deflate_blocks(data)
            self.blocks = list(zip(hashes, sizes))
        else:
            self.stored = data
            self.blocks = [(h, None) for h in hashes]

    @property
    def lfh_size(self):
        return 30 + len(self.name.encode('utf-8'))


def deflate_blocks(data):
    """Raw DEFLATE of data, flushed in full after each 64 KiB block, and the
    compressed size of each block. The end-of-stream marker that follows the
    last block belongs to no block."""
    z = zlib.compressobj(9, zlib.DEFLATED, -15, 9, zlib.Z_DEFAULT_STRATEGY)
    chunks, sizes = [], []
    for i in range(0, len(data), BLOCK):
        chunk = z.compress(data[i:i + BLOCK]) + z.flush(zlib.Z_FULL_FLUSH)
        chunks.append(chunk)
        sizes.append(len(chunk))
    chunks.append(z.flush(zlib.Z_FINISH))
    return b''.join(chunks), sizes


def payload_part(name, data):
    content_type, compress = BY_EXTENSION.get(name.rpartition('.')[2].lower(),
                                              ('application/octet-stream', True))
    return Part(name, data, compress, content_type)


def block_map(parts):
    """AppxBlockMap.xml for the payload parts, in their order."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             f'<BlockMap xmlns="{BLOCK_MAP_NS}" HashMethod="{SHA256_URI}">']
    for p in parts:
        lines.append(f'  <File Name={quoteattr(p.name.replace("/", chr(92)))} Size="{len(p.data)}"'
                     f' LfhSize="{p.lfh_size}">')
        for digest, size in p.blocks:
            size_attr = '' if size is None else f' Size="{size}"'
            lines.append(f'    <Block Hash="{digest}"{size_attr}/>')
        lines.append('  </File>')
    lines.append('</BlockMap>')
    return ('\r\n'.join(lines) + '\r\n').encode('utf-8')


def content_types(parts):
    """[Content_Types].xml: a Default per extension, taken from the first
    part that has it, an Override where a later part differs, and the block
    map's own Override."""
    defaults, overrides = {}, []
    for p in parts:
        ext = p.name.rpartition('.')[2].lower()
        if ext not in defaults:
            defaults[ext] = p.content_type
        elif defaults[ext] != p.content_type:
            overrides.append(('/' + p.name, p.content_type))
    overrides.append(('/' + BLOCK_MAP, BLOCK_MAP_TYPE))
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', f'<Types xmlns="{CONTENT_TYPES_NS}">']
    lines += [f'  <Default Extension={quoteattr(e)} ContentType={quoteattr(t)}/>' for e, t in defaults.items()]
    lines += [f'  <Override PartName={quoteattr(n)} ContentType={quoteattr(t)}/>' for n, t in overrides]
    lines.append('</Types>')
    return ('\r\n'.join(lines) + '\r\n').encode('utf-8')


def write_zip(parts):
    """The archive of the parts, in their order."""
    out = bytearray()
    directory = bytearray()
    for p in parts:
        name = p.name.encode('utf-8')
        offset = len(out)
        out += struct.pack('<IHHHHHIIIHH', 0x04034B50, ZIP64_VERSION, HAS_DESCRIPTOR, p.method,
                           DOS_TIME, DOS_DATE, 0, 0, 0, len(name), 0) + name
        out += p.stored
        out += struct.pack('<IIQQ', 0x08074B50, p.crc, len(p.stored), len(p.data))
        directory += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, ZIP64_VERSION, ZIP64_VERSION,
                                 HAS_DESCRIPTOR, p.method, DOS_TIME, DOS_DATE, p.crc, NO_VALUE32,
                                 NO_VALUE32, len(name), 28, 0, 0, 0, 0, NO_VALUE32) + name
        directory += struct.pack('<HHQQQ', 0x0001, 24, len(p.data), len(p.stored), offset)
    directory_offset = len(out)
    out += directory
    record_offset = len(out)
    out += struct.pack('<IQHHIIQQQQ', 0x06064B50, 44, ZIP64_VERSION, ZIP64_VERSION, 0, 0,
                       len(parts), len(parts), len(directory), directory_offset)
    out += struct.pack('<IIQI', 0x07064B50, 0, record_offset, 1)
    out += struct.pack('<IHHHHIIH', 0x06054B50, NO_VALUE16, NO_VALUE16, NO_VALUE16, NO_VALUE16,
                       NO_VALUE32, NO_VALUE32, 0)
    return bytes(out)


def pack(payload):
    """The package of the payload [(name, bytes)], AppxManifest.xml last."""
    parts = [payload_part(name, data) for name, data in payload if name != MANIFEST]
    parts.append(Part(MANIFEST, dict(payload)[MANIFEST], True, MANIFEST_TYPE))
    footprint = [Part(BLOCK_MAP, block_map(parts), True, BLOCK_MAP_TYPE),
                 Part(CONTENT_TYPES, content_types(parts), True, None)]
    return write_zip(parts + footprint)


def fill_manifest(template, ident):
    """The template with each @Key@ replaced by its identity value."""
    def value(match):
        if match.group(1) not in ident:
            raise ValueError(f'the manifest template names @{match.group(1)}@, which identity.ini lacks')
        return escape(ident[match.group(1)], {'"': '&quot;'})
    return re.sub(r'@(\w+)@', value, template)


def logo_sizes(manifest):
    """The image files the manifest names, which the package must hold, each
    with its size in pixels: the one an attribute's name gives
    (Square44x44Logo), else LOGO_SIZE. ValueError for a file named at two
    sizes."""
    sizes = {}

    def add(name, size):
        if sizes.setdefault(name, size) != size:
            raise ValueError(f'the manifest names {name} at {sizes[name]} and at {size} pixels')
    named = []
    for element in ElementTree.fromstring(manifest).iter():
        if element.tag.endswith('}Logo') and element.text:
            named.append(element.text.strip())
        for key, val in element.attrib.items():
            square = re.fullmatch(r'Square(\d+)x(\d+)Logo', key)
            if square and square.group(1) == square.group(2):
                add(val, int(square.group(1)))
            elif key.endswith('Logo'):
                named.append(val)
    for name in named:
        if name not in sizes:
            add(name, LOGO_SIZE)
    return dict(sorted(sizes.items()))


def png(rows):
    """A PNG of RGBA rows, compressed the same way every time."""
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    raw = b''.join(b'\0' + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack('>IIBBBBB', len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def nsis_include(ident, logos):
    def q(text):
        return '"' + text.replace('$', '$$').replace('"', '$\\"') + '"'
    defines = [('BRELL_PACKAGE_NAME', ident['Name']), ('BRELL_PACKAGE_PUBLISHER', ident['Publisher']),
               ('BRELL_PACKAGE_VERSION', ident['Version']),
               ('BRELL_PACKAGE_CLASS_ID', '{' + ident['CommandClassId'] + '}'),
               ('BRELL_PACKAGE_FAMILY', identity.family_name(ident)),
               ('BRELL_PACKAGE_FILE', PACKAGE), ('BRELL_PACKAGE_CERT', CERTIFICATE),
               ('BRELL_PACKAGE_LOGO', logos[0]), ('BRELL_PACKAGE_SMALL_LOGO', logos[1])]
    lines = ['; Written by package/make_msix.py from package/identity.ini; do not edit.']
    lines += [f'!define {name} {q(val)}' for name, val in defines]
    return ('\r\n'.join(lines) + '\r\n').encode('utf-8')


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__.split('\n\n')[1])
    try:
        ident = identity.read(argv[1])
    except ValueError as err:
        sys.exit(f'make_msix: {argv[1]}: {err}')
    with open(argv[2], encoding='utf-8') as f:
        manifest = fill_manifest(f.read(), ident).encode('utf-8')
    try:
        sizes = logo_sizes(manifest)
    except ValueError as err:
        sys.exit(f'make_msix: {err}')
    if sorted(sizes.values()) != [44, LOGO_SIZE]:
        sys.exit(f'make_msix: the manifest should name a 44 and a {LOGO_SIZE} pixel logo, not {sizes}')
    logos = {name: png(make_icon.render(size)) for name, size in sizes.items()}
    large, small = (next(n for n, s in sizes.items() if s == size) for size in (LOGO_SIZE, 44))
    outputs = {MANIFEST: manifest, **logos, UNSIGNED: pack([*logos.items(), (MANIFEST, manifest)]),
               'PackageIdentity.nsh': nsis_include(ident, [large, small])}
    os.makedirs(argv[3], exist_ok=True)
    for name, data in outputs.items():
        with open(os.path.join(argv[3], name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main(sys.argv)
