#!/usr/bin/env python3
"""Reads a built Sorvane.msix back and checks it as Windows' packaging reader
would see it. It shares nothing with the tool that writes the package: it
reads the ZIP with zipfile, the XML with ElementTree, and recomputes every
hash with hashlib.

    check_package.py PACKAGE [--registry EXPORT.reg --dll WINDOWS-PATH] [--signed]

With --registry (a REGEDIT export of HKEY_CLASSES_ROOT\\CLSID taken after
registering the library at WINDOWS-PATH), the class the manifest names must
be one that the library registered, with the description of the Explorer
command. With --signed, AppxSignature.p7x must be there and typed.

Prints every failure and exits with 1 when there is one.
"""
import argparse
import base64
import hashlib
import io
import math
import re
import struct
import sys
import xml.etree.ElementTree as ET
import zipfile

NS = {
    'f': 'http://schemas.microsoft.com/appx/manifest/foundation/windows10',
    'uap': 'http://schemas.microsoft.com/appx/manifest/uap/windows10',
    'uap10': 'http://schemas.microsoft.com/appx/manifest/uap/windows10/10',
    'rescap': 'http://schemas.microsoft.com/appx/manifest/foundation/windows10/restrictedcapabilities',
    'desktop4': 'http://schemas.microsoft.com/appx/manifest/desktop/windows10/4',
    'desktop5': 'http://schemas.microsoft.com/appx/manifest/desktop/windows10/5',
    'desktop10': 'http://schemas.microsoft.com/appx/manifest/desktop/windows10/10',
    'com': 'http://schemas.microsoft.com/appx/manifest/com/windows10',
    'bm': 'http://schemas.microsoft.com/appx/2010/blockmap',
    'ct': 'http://schemas.openxmlformats.org/package/2006/content-types',
}
FOOTPRINT = {'[Content_Types].xml', 'AppxBlockMap.xml', 'AppxSignature.p7x'}
EXPLORER_COMMAND = 'Sorvane Explorer Command'
GUID = re.compile(r'^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$')


class Report:
    def __init__(self):
        self.failures = []

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
        return bool(condition)


def attribute(element, name):
    """An attribute given as 'prefix:local' or a plain name."""
    if ':' in name:
        prefix, local = name.split(':')
        return element.get('{%s}%s' % (NS[prefix], local))
    return element.get(name)


def check_zip(raw, archive, report):
    names = [info.filename for info in archive.infolist()]
    report.check(len(names) == len(set(names)), 'entries named twice: %s' % names)
    report.check(archive.testzip() is None, 'an entry fails its CRC: %s' % archive.testzip())
    for info in archive.infolist():
        report.check(info.compress_type in (zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED),
                     '%s: compression method %d' % (info.filename, info.compress_type))
        report.check('\\' not in info.filename and not info.filename.startswith('/') and not info.is_dir(),
                     '%s: not a plain part name' % info.filename)
        if info.compress_type == zipfile.ZIP_STORED:
            report.check(info.compress_size == info.file_size, '%s: stored with two sizes' % info.filename)
        # The local header agrees with the central directory.
        header = raw[info.header_offset:info.header_offset + 30]
        if report.check(len(header) == 30 and header[:4] == b'PK\x03\x04', '%s: no local header' % info.filename):
            method, = struct.unpack('<H', header[8:10])
            report.check(method == info.compress_type, '%s: local method %d differs' % (info.filename, method))
    report.check('[Content_Types].xml' in names and 'AppxManifest.xml' in names and 'AppxBlockMap.xml' in names,
                 'footprint files missing: %s' % names)


def check_content_types(archive, report):
    types = ET.fromstring(archive.read('[Content_Types].xml'))
    defaults = {d.get('Extension').lower(): d.get('ContentType') for d in types.findall('ct:Default', NS)}
    overrides = {o.get('PartName'): o.get('ContentType') for o in types.findall('ct:Override', NS)}
    for name in archive.namelist():
        if name == '[Content_Types].xml':
            continue
        extension = name.rsplit('.', 1)[-1].lower() if '.' in name else ''
        report.check('/' + name in overrides or extension in defaults, '%s: no content type' % name)
    report.check(overrides.get('/AppxManifest.xml') == 'application/vnd.ms-appx.manifest+xml',
                 'manifest content type: %s' % overrides.get('/AppxManifest.xml'))
    report.check(overrides.get('/AppxBlockMap.xml') == 'application/vnd.ms-appx.blockmap+xml',
                 'block map content type: %s' % overrides.get('/AppxBlockMap.xml'))
    if 'png' in {n.rsplit('.', 1)[-1].lower() for n in archive.namelist()}:
        report.check(defaults.get('png') == 'image/png', 'png content type: %s' % defaults.get('png'))
    if 'AppxSignature.p7x' in archive.namelist():
        report.check(overrides.get('/AppxSignature.p7x') == 'application/vnd.ms-appx.signature',
                     'signature content type: %s' % overrides.get('/AppxSignature.p7x'))


def check_block_map(raw, archive, report):
    blockmap = ET.fromstring(archive.read('AppxBlockMap.xml'))
    report.check(blockmap.tag == '{%s}BlockMap' % NS['bm'], 'block map root: %s' % blockmap.tag)
    report.check(blockmap.get('HashMethod') == 'http://www.w3.org/2001/04/xmlenc#sha256',
                 'hash method: %s' % blockmap.get('HashMethod'))
    listed = {}
    for element in blockmap.findall('bm:File', NS):
        name = element.get('Name')
        report.check(name not in listed, '%s: listed twice in the block map' % name)
        listed[name] = element
    payload = [info for info in archive.infolist() if info.filename not in FOOTPRINT]
    report.check(sorted(listed) == sorted(info.filename.replace('/', '\\') for info in payload),
                 'block map names %s, package holds %s' % (sorted(listed), [i.filename for i in payload]))
    for info in payload:
        element = listed.get(info.filename.replace('/', '\\'))
        if element is None:
            continue
        data = archive.read(info)
        report.check(int(element.get('Size', -1)) == len(data), '%s: size %s, file %d' % (
            info.filename, element.get('Size'), len(data)))
        name_length, extra_length = struct.unpack('<HH', raw[info.header_offset + 26:info.header_offset + 30])
        report.check(int(element.get('LfhSize', -1)) == 30 + name_length + extra_length,
                     '%s: LfhSize %s, header %d' % (info.filename, element.get('LfhSize'),
                                                   30 + name_length + extra_length))
        blocks = element.findall('bm:Block', NS)
        report.check(len(blocks) == math.ceil(len(data) / 65536), '%s: %d blocks for %d bytes' % (
            info.filename, len(blocks), len(data)))
        for index, block in enumerate(blocks):
            chunk = data[index * 65536:(index + 1) * 65536]
            expected = base64.b64encode(hashlib.sha256(chunk).digest()).decode('ascii')
            report.check(block.get('Hash') == expected, '%s: block %d hash %s, data %s' % (
                info.filename, index, block.get('Hash'), expected))
            if info.compress_type == zipfile.ZIP_STORED:
                report.check(block.get('Size') is None, '%s: a stored block with a Size' % info.filename)
            else:
                report.check(block.get('Size') is not None, '%s: a compressed block without Size' % info.filename)


def check_manifest(archive, report):
    """The elements and attributes the sparse package needs; returns the
    class identifier it names (or None)."""
    manifest = ET.fromstring(archive.read('AppxManifest.xml'))
    report.check(manifest.tag == '{%s}Package' % NS['f'], 'manifest root: %s' % manifest.tag)
    identity = manifest.find('f:Identity', NS)
    if report.check(identity is not None, 'no Identity'):
        for name in ('Name', 'Publisher', 'Version'):
            report.check(identity.get(name), 'Identity without %s' % name)
        report.check(re.fullmatch(r'\d+\.\d+\.\d+\.\d+', identity.get('Version') or ''), 'Identity Version')
        report.check((identity.get('Publisher') or '').startswith('CN='), 'Publisher is not a subject name')
    external = manifest.find('f:Properties/uap10:AllowExternalContent', NS)
    report.check(external is not None and (external.text or '').strip() == 'true', 'AllowExternalContent is not true')

    capabilities = {c.get('Name') for c in manifest.findall('f:Capabilities/rescap:Capability', NS)}
    for name in ('runFullTrust', 'unvirtualizedResources'):
        report.check(name in capabilities, 'capability %s missing' % name)

    applications = manifest.findall('f:Applications/f:Application', NS)
    if not report.check(len(applications) == 1, '%d applications' % len(applications)):
        return None
    application = applications[0]
    report.check(attribute(application, 'uap10:TrustLevel') == 'mediumIL', 'TrustLevel')
    report.check(attribute(application, 'uap10:RuntimeBehavior') == 'win32App', 'RuntimeBehavior')
    report.check(application.get('Executable') == 'Sorvane.exe', 'Executable: %s' % application.get('Executable'))
    visual = application.find('uap:VisualElements', NS)
    report.check(visual is not None and visual.get('AppListEntry') == 'none', 'AppListEntry is not none')

    # Every logo the manifest names lies in the package as a PNG.
    logos = [manifest.findtext('f:Properties/f:Logo', namespaces=NS)]
    if visual is not None:
        logos += [visual.get('Square150x150Logo'), visual.get('Square44x44Logo')]
    for logo in logos:
        if report.check(logo, 'a logo is not named'):
            part = logo.replace('\\', '/')
            report.check(part in archive.namelist() and archive.read(part)[:8] == b'\x89PNG\r\n\x1a\n',
                         '%s: not a PNG in the package' % logo)

    menus = application.findall('f:Extensions/desktop4:Extension', NS)
    menus = [m for m in menus if m.get('Category') == 'windows.fileExplorerContextMenus']
    report.check(len(menus) == 1, '%d fileExplorerContextMenus extensions' % len(menus))
    verbs = {}
    for menu in menus:
        for prefix in ('desktop5', 'desktop10'):
            for item in menu.findall('desktop4:FileExplorerContextMenus/%s:ItemType' % prefix, NS):
                for verb in item.findall('%s:Verb' % prefix, NS):
                    verbs.setdefault(item.get('Type'), []).append((prefix, verb.get('Id'), verb.get('Clsid')))
    report.check(sorted(verbs) == ['*', 'Directory', 'Drive'], 'item types: %s' % sorted(verbs))
    report.check(all(prefix == 'desktop5' for prefix, _, _ in verbs.get('*', []) + verbs.get('Directory', [])),
                 'files and folders are not desktop5 item types')
    class_ids = {clsid for entries in verbs.values() for _, _, clsid in entries}
    for entries in verbs.values():
        for _, verb_id, _ in entries:
            report.check(verb_id and re.fullmatch(r'[A-Za-z0-9]{3,64}', verb_id), 'verb id %r' % verb_id)

    servers = [e for e in application.findall('f:Extensions/com:Extension', NS) if e.get('Category') == 'windows.comServer']
    classes = [c for s in servers for c in s.findall('com:ComServer/com:SurrogateServer/com:Class', NS)]
    report.check(len(classes) == 1, '%d surrogate classes' % len(classes))
    for cls in classes:
        report.check(cls.get('Path') == 'SorvaneExt.dll', 'class path: %s' % cls.get('Path'))
        report.check(cls.get('ThreadingModel') == 'STA', 'threading model: %s' % cls.get('ThreadingModel'))
        class_ids.add(cls.get('Id'))
    report.check(len(class_ids) == 1, 'the verbs and the class name different classes: %s' % class_ids)
    class_id = next(iter(class_ids)) if len(class_ids) == 1 else None
    report.check(class_id and GUID.match(class_id), 'class id %r is not a GUID' % class_id)
    return class_id


def registered_classes(export_path, dll_path):
    """{class id (upper case, no braces): description} of the classes an
    export of HKEY_CLASSES_ROOT\\CLSID shows served by `dll_path`."""
    with open(export_path, 'rb') as f:
        raw = f.read()
    text = raw.decode('utf-16') if raw[:2] in (b'\xff\xfe', b'\xfe\xff') else raw.decode('utf-8', 'replace')
    keys = {}
    current = None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith('[') and line.endswith(']'):
            current = keys.setdefault(line[1:-1].lower(), {})
        elif current is not None and '=' in line:
            name, value = line.split('=', 1)
            if value.startswith('"') and value.endswith('"'):
                current[name] = value[1:-1].replace('\\\\', '\\').replace('\\"', '"')
    found = {}
    pattern = re.compile(r'^hkey_classes_root\\clsid\\\{([0-9a-f-]{36})\}\\inprocserver32$')
    for key, values in keys.items():
        match = pattern.match(key)
        if match and values.get('@', '').lower() == dll_path.lower():
            base = keys.get(key.rsplit('\\', 1)[0], {})
            found[match.group(1).upper()] = base.get('@', '')
    return found


def check(raw, registry=None, dll=None, signed=False):
    """The failures found in the package bytes `raw`, and the class it names."""
    report = Report()
    try:
        archive = zipfile.ZipFile(io.BytesIO(raw))
    except zipfile.BadZipFile as error:
        return ['not a ZIP file: %s' % error], None
    check_zip(raw, archive, report)
    class_id = None
    if not report.failures:
        check_content_types(archive, report)
        check_block_map(raw, archive, report)
        class_id = check_manifest(archive, report)
    if signed:
        report.check('AppxSignature.p7x' in archive.namelist(), 'not signed')
    if registry:
        classes = registered_classes(registry, dll or '')
        report.check(classes, 'the library registered no class at %s' % dll)
        report.check(class_id and class_id.upper() in classes, 'class %s is not one the library registers: %s' % (
            class_id, classes))
        if class_id and class_id.upper() in classes:
            report.check(classes[class_id.upper()] == EXPLORER_COMMAND, 'class %s is registered as %r' % (
                class_id, classes[class_id.upper()]))
    return report.failures, class_id


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument('package')
    parser.add_argument('--registry')
    parser.add_argument('--dll')
    parser.add_argument('--signed', action='store_true')
    args = parser.parse_args(argv)
    with open(args.package, 'rb') as f:
        raw = f.read()
    failures, class_id = check(raw, args.registry, args.dll, args.signed)
    for failure in failures:
        print('FAIL: ' + failure)
    if failures:
        return 1
    print('OK: %s (class %s)' % (args.package, class_id))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
