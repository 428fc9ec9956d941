#!/usr/bin/python3
"""Pillow's side of the JPEG tests.

  jpeg_tool.py make KIND OUT.jpg      writes a test picture as a JPEG made by Pillow; KIND is
                                      baseline, progressive, grey or exif (an Exif file with no
                                      JFIF segment)
  jpeg_tool.py decode IN.jpg OUT.raw  decodes with Pillow; OUT.raw is the text "W H C\\n"
                                      followed by the pixels, C bytes each (RGB or grey)
"""
import sys

from PIL import Image


def picture(mode):
    width, height = 67, 45  # not a multiple of the block size
    img = Image.new("RGB", (width, height))
    px = img.load()
    for y in range(height):
        for x in range(width):
            px[x, y] = (x * 255 // width, y * 255 // height, (x * y) % 256)
    for y in range(10, 30):
        for x in range(20, 40):
            px[x, y] = (230, 30, 40)
    return img.convert(mode)


def make(kind, path):
    if kind == "baseline":
        picture("RGB").save(path, quality=90)
    elif kind == "progressive":
        picture("RGB").save(path, quality=85, progressive=True)
    elif kind == "grey":
        picture("L").save(path, quality=90)
    elif kind == "exif":
        exif = Image.Exif()
        exif[0x010F] = "test maker"
        exif[0x0112] = 1
        picture("RGB").save(path, quality=90, exif=exif.tobytes())
        data = open(path, "rb").read()
        # Drop the JFIF segment so the file starts with the Exif segment, as cameras write it.
        if data[2:4] == b"\xff\xe0":
            length = data[4] * 256 + data[5]
            data = data[:2] + data[4 + length:]
        assert data[6:10] == b"Exif"
        open(path, "wb").write(data)
    else:
        sys.exit("unknown kind " + kind)


def decode(path, out):
    img = Image.open(path)
    img.load()
    if img.mode not in ("L", "RGB"):
        img = img.convert("RGB")
    channels = 1 if img.mode == "L" else 3
    with open(out, "wb") as f:
        f.write(b"%d %d %d\n" % (img.width, img.height, channels))
        f.write(img.tobytes())


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "decode":
        decode(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
