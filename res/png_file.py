"""PNG encoding shared by the scripts that draw the program's art.

png(size, raw, alpha) gives the bytes of a square 8-bit image of size x size
pixels from its raw rows, each starting with filter byte 0: RGB, or RGBA when
alpha is true. Standard library only; the output is deterministic.
"""

import struct
import zlib


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(size, raw, alpha=False):
    colour_type = 6 if alpha else 2
    ihdr = struct.pack(">IIBBBBB", size, size, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))
