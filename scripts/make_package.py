#!/usr/bin/env python3
"""Writes Sorvane's sparse package (Sorvane.msix) from the files in
installer/package/, with the standard library only.

    make_package.py --source installer/package --identifiers SorvaneExt/Identifiers.h \\
                    --publisher "CN=Brenmoor" --version 2.4.0.0 --out build/package/Sorvane.msix

The package is a ZIP file with, in this order: the manifest
(AppxManifest.xml, made from AppxManifest.xml.in), the logos under Assets/,
the block map (AppxBlockMap.xml: every file's size, the size of its local
file header and the SHA-256 of each 64 KB block) and the content types
([Content_Types].xml). The files the block map describes are stored; the
content types are deflated, as osslsigncode writes them back when it adds
AppxSignature.p7x (it keeps the method of the entry it replaces, so a stored
one would come out with deflated data under the stored method).

The Explorer command's class identifier comes from the extension's
identifiers header, where the library itself takes it from, so the manifest
always names the class the library serves. The output is the same on every
run for the same input.
"""
import argparse
import base64
import hashlib
import os
import re
import struct
import sys
import zlib
from xml.sax.saxutils import quoteattr

BLOCK = 65536
# Every entry carries the same time stamp, so that the output is reproducible:
# 2024-01-01 00:00:00 in the MS-DOS form.
DOS_TIME = 0
DOS_DATE = ((2024 - 1980) << 9) | (1 << 5) | 1

CONTENT_TYPES = {
    'png': 'image/png',
}
MANIFEST_TYPE = 'application/vnd.ms-appx.manifest+xml'
BLOCKMAP_TYPE = 'application/vnd.ms-appx.blockmap+xml'


def class_id(identifiers_path):
    """The Explorer command's class identifier, without braces."""
    with open(identifiers_path, encoding='utf-8') as f:
        text = f.read()
    found = re.search(r'#define\s+SORVANE_EXPLORER_COMMAND_CLSID\s+L"\{([0-9A-Fa-f-]{36})\}"', text)
    if not found:
        raise SystemExit('%s: SORVANE_EXPLORER_COMMAND_CLSID not found' % identifiers_path)
    return found.group(1).upper()


def manifest(template_path, values):
    with open(template_path, encoding='utf-8') as f:
        text = f.read()
    for key, value in values.items():
        text = text.replace('@%s@' % key, value)
    left = re.findall(r'@[A-Z_]+@', text)
    if left:
        raise SystemExit('%s: no value for %s' % (template_path, ', '.join(sorted(set(left)))))
    return text.encode('utf-8')


def payload(source, values):
    """(name in the package, bytes) of every file, the manifest first."""
    files = [('AppxManifest.xml', manifest(os.path.join(source, 'AppxManifest.xml.in'), values))]
    assets = os.path.join(source, 'Assets')
    for name in sorted(os.listdir(assets)):
        with open(os.path.join(assets, name), 'rb') as f:
            files.append(('Assets/' + name, f.read()))
    return files


STORED = 0
DEFLATED = 8


def deflate(data):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()


def local_header(name, data, method=STORED, stored=None):
    """The local file header of `data` kept as `stored` (its bytes in the
    package, `data` itself when stored)."""
    encoded = name.encode('ascii')
    size = len(data if stored is None else stored)
    return struct.pack('<IHHHHHIIIHH', 0x04034B50, 20, 0, method, DOS_TIME, DOS_DATE,
                       zlib.crc32(data) & 0xFFFFFFFF, size, len(data), len(encoded), 0) + encoded


def central_header(name, data, offset, method=STORED, stored=None):
    encoded = name.encode('ascii')
    size = len(data if stored is None else stored)
    return struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 20, 20, 0, method, DOS_TIME, DOS_DATE,
                       zlib.crc32(data) & 0xFFFFFFFF, size, len(data), len(encoded), 0, 0, 0, 0, 0,
                       offset) + encoded


def block_map(files):
    """The block map of the payload: names as Windows writes them, with
    backslashes; stored files have no Size on their blocks."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<BlockMap xmlns="http://schemas.microsoft.com/appx/2010/blockmap" '
             'HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">']
    for name, data in files:
        lfh = len(local_header(name, data))
        lines.append('<File Name=%s Size="%d" LfhSize="%d">' % (quoteattr(name.replace('/', '\\')), len(data), lfh))
        for start in range(0, len(data), BLOCK):
            digest = hashlib.sha256(data[start:start + BLOCK]).digest()
            lines.append('<Block Hash="%s"/>' % base64.b64encode(digest).decode('ascii'))
        lines.append('</File>')
    lines.append('</BlockMap>')
    return ('\r\n'.join(lines) + '\r\n').encode('utf-8')


def content_types(files):
    extensions = sorted({name.rsplit('.', 1)[1].lower() for name, _ in files if '.' in name} - {'xml'})
    parts = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">']
    for extension in extensions:
        if extension not in CONTENT_TYPES:
            raise SystemExit('no content type known for .%s' % extension)
        parts.append('<Default Extension="%s" ContentType="%s"/>' % (extension, CONTENT_TYPES[extension]))
    parts.append('<Override PartName="/AppxManifest.xml" ContentType="%s"/>' % MANIFEST_TYPE)
    parts.append('<Override PartName="/AppxBlockMap.xml" ContentType="%s"/>' % BLOCKMAP_TYPE)
    parts.append('</Types>')
    return ('\r\n'.join(parts) + '\r\n').encode('utf-8')


def package(files):
    entries = files + [('AppxBlockMap.xml', block_map(files))]
    entries.append(('[Content_Types].xml', content_types(entries)))
    body = bytearray()
    directory = bytearray()
    for name, data in entries:
        method = DEFLATED if name == '[Content_Types].xml' else STORED
        stored = deflate(data) if method == DEFLATED else data
        directory += central_header(name, data, len(body), method, stored)
        body += local_header(name, data, method, stored) + stored
    end = struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, len(entries), len(entries), len(directory), len(body), 0)
    return bytes(body + directory + end)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--source', required=True, help='folder with AppxManifest.xml.in and Assets/')
    parser.add_argument('--identifiers', required=True, help="the extension's Identifiers.h")
    parser.add_argument('--publisher', required=True, help='the subject of the signing certificate')
    parser.add_argument('--version', required=True, help='four numbers: major.minor.build.revision')
    parser.add_argument('--out', required=True)
    args = parser.parse_args(argv)
    if not re.fullmatch(r'\d+\.\d+\.\d+\.\d+', args.version):
        raise SystemExit('version %r is not four numbers' % args.version)
    values = {
        'CLASS_ID': class_id(args.identifiers),
        'PUBLISHER': args.publisher.replace('&', '&amp;').replace('"', '&quot;').replace('<', '&lt;'),
        'VERSION': args.version,
    }
    data = package(payload(args.source, values))
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    temporary = args.out + '.part'
    with open(temporary, 'wb') as f:
        f.write(data)
    os.replace(temporary, args.out)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
