"""Pillow helper of the TIFF and icon tests.

make OUT MODE W H [COMPRESSION]  writes a deterministic test image with Pillow
dump IN OUT                      writes "W H\n" and the RGB bytes of IN (first frame)
icon OUT SIZES...                writes an icon with the given sizes (square, RGBA with holes)
bmpicon OUT SIZES...             the same with the images stored as bitmaps, not PNG
icoinfo IN                       prints "W H" of the icon's image and its transparent pixel count
"""
import sys
from PIL import Image


def pattern(mode, w, h):
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 7 + y * 3) % 256, (x * y + 11) % 256, (x * 5 ^ y * 9) % 256)
    if mode == "RGB":
        return img
    if mode == "L":
        return img.convert("L")
    if mode == "P":
        return img.quantize(colors=200)
    if mode == "P16":
        return img.quantize(colors=16)
    if mode == "1":
        return img.convert("L").point(lambda v: 255 if v > 128 else 0).convert("1")
    if mode == "RGBA":
        rgba = img.convert("RGBA")
        pa = rgba.load()
        for y in range(h):
            for x in range(w):
                r, g, b, _ = pa[x, y]
                pa[x, y] = (r, g, b, 0 if (x + y) % 5 == 0 else 255)
        return rgba
    raise SystemExit("unknown mode " + mode)


def main():
    cmd = sys.argv[1]
    if cmd == "make":
        out, mode, w, h = sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
        img = pattern(mode, w, h)
        kwargs = {}
        if len(sys.argv) > 6:
            kwargs["compression"] = sys.argv[6]
        img.save(out, **kwargs)
    elif cmd == "dump":
        img = Image.open(sys.argv[2])
        img.load()
        rgb = img.convert("RGB")
        with open(sys.argv[3], "wb") as f:
            f.write(b"%d %d\n" % rgb.size)
            f.write(rgb.tobytes())
    elif cmd == "icon":
        out = sys.argv[2]
        sizes = [(int(s), int(s)) for s in sys.argv[3:]]
        big = max(s[0] for s in sizes)
        pattern("RGBA", big, big).save(out, sizes=sizes)
    elif cmd == "bmpicon":
        out = sys.argv[2]
        sizes = [(int(s), int(s)) for s in sys.argv[3:]]
        big = max(s[0] for s in sizes)
        pattern("RGBA", big, big).save(out, sizes=sizes, bitmap_format="bmp")
    elif cmd == "icoinfo":
        img = Image.open(sys.argv[2])
        img.load()
        rgba = img.convert("RGBA")
        clear = sum(1 for a in rgba.getdata(3) if a == 0)
        print(rgba.size[0], rgba.size[1], clear)
    else:
        raise SystemExit("unknown command " + cmd)


if __name__ == "__main__":
    main()
