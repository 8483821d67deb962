#!/usr/bin/env python3
"""Writes a copy of a TrueType/OpenType font that also claims the Korean (Wansung) code page.

The page header asks for "MS UI Gothic" in the Korean character set. Windows draws it in the
face it names; Wine serves a character set only from a face that claims it, and falls back to
a CJK face of other metrics. The copy claims the code page and carries a higher revision, so
Wine prefers it to the original of the same name.

usage: korean-codepage-font.py SOURCE DESTINATION
"""
import struct
import sys

KOREAN_WANSUNG = 1 << 19


def main(source, destination):
    data = bytearray(open(source, 'rb').read())
    tables = {}
    for i in range(struct.unpack_from('>H', data, 4)[0]):
        tag, _, offset, _ = struct.unpack_from('>4sLLL', data, 12 + 16 * i)
        tables[tag] = offset
    os2, head = tables[b'OS/2'], tables[b'head']
    code_pages = struct.unpack_from('>L', data, os2 + 78)[0]
    struct.pack_into('>L', data, os2 + 78, code_pages | KOREAN_WANSUNG)
    revision = struct.unpack_from('>l', data, head + 4)[0]
    struct.pack_into('>l', data, head + 4, revision + 0x10000)
    with open(destination, 'wb') as out:
        out.write(data)


if __name__ == '__main__':
    main(*sys.argv[1:3])
