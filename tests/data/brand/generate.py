#!/usr/bin/env python3
"""Writes the test brand that the Windows build applies to UpdateBranded.exe
(tests/e2e/resources_test.cpp and startup_test.cpp read it back): brand.ini
with every key, a red banner, a green one of twice the size for high DPI and
an icon of 32-bit images (16, 32 and 48 pixels; no 256, which the brand check
reports), so that each part of the brand is told apart from the program's own. The title is exactly as
long as the build allows. Run it from anywhere; it rewrites the files next to
itself."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

TITLE = '星图"Atlas"在线升级 \\ 测试版 (Windows 32 位) 2026 年秋季版本 R2'
BRAND = [
    ('Title', TITLE),
    ('Soft', '星图'),
    ('Version', '3.5'),
    # An https default is accepted only with AllowHttps=1.
    ('URL', 'https://127.0.0.1:9/atlas/'),
    ('CompanyName', '星图软件有限公司'),
    ('FileDescription', '星图 在线升级程序'),
    ('ProductName', '星图 Atlas'),
    # ";" and "[" must reach the version record as written.
    ('LegalCopyright', '版权所有 (C) 2026 星图软件; [内部]'),
    # A leading zero is dropped; 65535 is the largest number the record holds.
    ('FileVersion', '3.05.0.65535'),
    ('BoxCaption', '星图 升级'),
    ('AllowHttps', '1'),
]
assert len(TITLE.encode('cp936')) == 63, len(TITLE.encode('cp936'))


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


def brand_ini():
    # A byte-order mark, CRLF, a comment, blanks around names and a section
    # that is not read: the reader must take all of them.
    lines = ['; The test brand (written by generate.py)', '[Other]', 'Title=not this one', '', '[brand]']
    lines += [f'  {key} = {value}' for key, value in BRAND]
    return b'\xef\xbb\xbf' + '\r\n'.join(lines).encode('utf-8') + b'\r\n'


def banner(scale=1):
    width, height = 163 * scale, 278 * scale
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            ramp = 120 + (135 * y) // height
            near = (30 + x // (8 * scale), 20 + x // (6 * scale))
            # blue, green, red: red at the plain size, green at twice it
            row += bytes((near[0], near[1], ramp) if scale == 1 else (near[0], ramp, near[1]))
        rows.append(bytes(row) + b'\0' * (stride - width * 3))
    pixels = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def icon_image(size):
    # 32-bit BGRA rows bottom-up, then an all-opaque AND mask.
    colour = b''.join(bytes((40, 40 + 6 * x * 32 // max(size, 32), 200, 255)) for _ in range(size) for x in range(size))
    mask = b'\0' * (((size + 31) // 32) * 4 * size)
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return info + colour + mask


def icon():
    sizes = (32, 16, 48)
    images = [icon_image(size) for size in sizes]
    offset = 6 + 16 * len(images)
    directory = b''
    for size, image in zip(sizes, images):
        directory += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return struct.pack('<HHH', 0, 1, len(images)) + directory + b''.join(images)


write('brand.ini', brand_ini())
write('banner.bmp', banner())
write('banner@2x.bmp', banner(2))
write('icon.ico', icon())
