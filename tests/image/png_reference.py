#!/usr/bin/python3
"""Reference pixels for PNG pictures where Pillow's own RGBA conversion departs from
the format's rules, built from the samples Pillow decodes:
- grey pictures: 16-bit samples keep their high byte, and a tRNS value is compared
  with the sample at the file's own bit depth (Pillow clips 16-bit samples to 255 and
  compares tRNS with samples already scaled to 8 bits);
- palette pictures: an index beyond the palette has no colour in the format; it is
  black here, as libpng paints it (Pillow uses its own grey ramp).
Usage: png_reference.py PICTURE OUTPUT. Writes 8-bit RGBA rows to OUTPUT and exits
with 1 when Pillow refuses the file or it is neither grey nor palette."""
import struct
import sys

from PIL import Image


def chunk(data, wanted):
    offset = 8
    while offset + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[offset:offset + 8])
        if kind == wanted:
            return data[offset + 8:offset + 8 + length]
        offset += 12 + length
    return None


def main():
    source, output = sys.argv[1], sys.argv[2]
    with open(source, "rb") as f:
        data = f.read()
    depth, colour_type = data[24], data[25]
    trns = chunk(data, b"tRNS")
    out = bytearray()
    with Image.open(source) as image:
        image.load()
        values = list(image.getdata())
    if colour_type == 0:
        transparent = struct.unpack(">H", trns[:2])[0] if trns else None
        for value in values:
            raw = value if depth == 16 else value * ((1 << depth) - 1) // 255
            grey = value >> 8 if depth == 16 else value
            out += bytes((grey, grey, grey, 0 if raw == transparent else 255))
    elif colour_type == 3:
        palette = chunk(data, b"PLTE")
        alpha = trns or b""
        for index in values:
            if index * 3 + 3 <= len(palette):
                rgb = palette[index * 3:index * 3 + 3]
            else:
                rgb = b"\0\0\0"
            out += rgb + bytes((alpha[index] if index < len(alpha) else 255,))
    else:
        sys.exit(1)
    with open(output, "wb") as f:
        f.write(out)


try:
    main()
except Exception as error:  # Pillow refuses the file
    print("refused:", error, file=sys.stderr)
    sys.exit(1)
