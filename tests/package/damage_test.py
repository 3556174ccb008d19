#!/usr/bin/env python3
"""The package checker finds damage: each copy of a good package below is
spoilt in one way (rewritten with zipfile, not with the package writer) and
must fail with the matching complaint, while the good package passes.

    damage_test.py PACKAGE
"""
import base64
import hashlib
import io
import os
import re
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_package  # noqa: E402


def rewrite(raw, change):
    """The package with each entry's bytes passed through change(name, data)."""
    source = zipfile.ZipFile(io.BytesIO(raw))
    out = io.BytesIO()
    with zipfile.ZipFile(out, 'w') as target:
        for info in source.infolist():
            target.writestr(info, change(info.filename, source.read(info)), compress_type=info.compress_type)
    return out.getvalue()


def rehash(name, data, manifest):
    """Block map whose manifest hash fits `manifest` again, so that only the
    change under test is wrong."""
    if name != 'AppxBlockMap.xml':
        return data
    digest = base64.b64encode(hashlib.sha256(manifest).digest())
    return re.sub(rb'(<File Name="AppxManifest.xml"[^>]*>\s*<Block Hash=")[^"]*', lambda m: m.group(1) + digest, data)


def other_class(raw):
    manifest = zipfile.ZipFile(io.BytesIO(raw)).read('AppxManifest.xml')
    spoilt = re.sub(rb'(<com:Class Id=")[0-9A-F]', rb'\g<1>0', manifest, count=1)
    return rewrite(raw, lambda n, d: spoilt if n == 'AppxManifest.xml' else rehash(n, d, spoilt))


def without_drive(raw):
    manifest = zipfile.ZipFile(io.BytesIO(raw)).read('AppxManifest.xml')
    spoilt = re.sub(rb'<desktop10:ItemType Type="Drive">.*?</desktop10:ItemType>', b'', manifest, flags=re.S)
    return rewrite(raw, lambda n, d: spoilt if n == 'AppxManifest.xml' else rehash(n, d, spoilt))


def flip_png_byte(raw):
    """A byte of a logo changed inside the ZIP, CRC and all left as they were."""
    info = next(i for i in zipfile.ZipFile(io.BytesIO(raw)).infolist() if i.filename.endswith('.png'))
    at = info.header_offset + 30 + len(info.filename) + 40
    return raw[:at] + bytes([raw[at] ^ 0xFF]) + raw[at + 1:]


def registry(description):
    text = ('Windows Registry Editor Version 5.00\r\n\r\n'
            '[HKEY_CLASSES_ROOT\\CLSID\\{%s}]\r\n@="%s"\r\n\r\n'
            '[HKEY_CLASSES_ROOT\\CLSID\\{%s}\\InprocServer32]\r\n@="C:\\\\x\\\\SorvaneExt.dll"\r\n')
    return lambda cls: text % (cls, description, cls)


CASES = [
    # (what, spoil the package, registry text for the class or None, complaint)
    ('a block hash', lambda raw: rewrite(raw, lambda n, d: re.sub(
        rb'Hash="([A-Za-z0-9+/])', lambda m: b'Hash="' + (b'B' if m.group(1) == b'A' else b'A'), d, count=1)
        if n == 'AppxBlockMap.xml' else d), None, 'hash'),
    ('a logo byte under its old CRC', flip_png_byte, None, 'CRC'),
    ('no content type for png', lambda raw: rewrite(raw, lambda n, d: re.sub(rb'<Default Extension="png"[^>]*/>', b'', d)
                                                    if n == '[Content_Types].xml' else d), None, 'no content type'),
    ('the class of the surrogate differs from the verbs\'', other_class, None, 'different classes'),
    ('no drive entry', without_drive, None, 'item types'),
    ('a class the library does not register', lambda raw: raw, 'other', 'not one the library registers'),
    ('the class registered as something else', lambda raw: raw, 'Something Else', 'registered as'),
]


def main(argv):
    with open(argv[0], 'rb') as f:
        good = f.read()
    failures, class_id = check_package.check(good)
    if failures or not class_id:
        print('FAIL: the good package does not pass: %s' % failures)
        return 1
    wrong = 0
    with tempfile.TemporaryDirectory() as folder:
        for what, spoil, description, complaint in CASES:
            export = None
            if description:
                export = os.path.join(folder, 'export.reg')
                cls = class_id if description != 'other' else '00000000-0000-0000-0000-000000000001'
                with open(export, 'w', encoding='utf-16') as f:
                    f.write(registry(description if description != 'other' else check_package.EXPLORER_COMMAND)(cls))
            found, _ = check_package.check(spoil(good), export, 'C:\\x\\SorvaneExt.dll')
            if any(complaint in failure for failure in found):
                print('ok: %s: %s' % (what, next(f for f in found if complaint in f)))
            else:
                print('FAIL: %s: expected "%s", got %s' % (what, complaint, found))
                wrong += 1
        # And the good package with a matching registration passes.
        export = os.path.join(folder, 'export.reg')
        with open(export, 'w', encoding='utf-16') as f:
            f.write(registry(check_package.EXPLORER_COMMAND)(class_id))
        found, _ = check_package.check(good, export, 'C:\\x\\SorvaneExt.dll')
        if found:
            print('FAIL: good package with its registration: %s' % found)
            wrong += 1
    print('%d passed, %d failed' % (len(CASES) + 1 - wrong, wrong))
    return 1 if wrong else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
