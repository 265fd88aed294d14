#!/usr/bin/python3
"""Decodes a picture with Pillow, the independent decoder the reader tests compare
against. Usage: decode_with_pil.py PICTURE OUTPUT

Writes the first frame as 8-bit RGBA rows (top to bottom, no padding) to OUTPUT and
prints "width height frames mode" on standard output. Exits with 1 when Pillow
refuses the file."""
import sys

from PIL import Image, ImageFile

ImageFile.LOAD_TRUNCATED_IMAGES = False


def main():
    source, output = sys.argv[1], sys.argv[2]
    try:
        with Image.open(source) as image:
            frames = getattr(image, "n_frames", 1)
            mode = image.mode
            image.load()
            rgba = image.convert("RGBA")
            with open(output, "wb") as out:
                out.write(rgba.tobytes())
            print(rgba.width, rgba.height, frames, mode)
    except Exception as error:  # Pillow refuses the file
        print("refused:", error, file=sys.stderr)
        sys.exit(1)


main()
