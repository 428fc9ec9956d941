"""Real-world-style inputs made by other programs, and their pixels as other decoders see them.

  corpus_tool.py make CASE DIR    writes DIR/<input file> and DIR/expected.pam, prints the
                                  input's name; exit 77 when a tool the case needs is missing
  corpus_tool.py decode FILE PAM  FILE's pixels as RGBA (Pillow, or ImageMagick for what Pillow
                                  cannot read)

expected.pam holds what a converted file must show: the source's colours, alpha 0 only where
the conversion is to make a pixel transparent.
"""
import io
import os
import shutil
import subprocess
import sys

try:
    from PIL import Image
except ImportError:
    sys.exit(77)

CONVERT = "/usr/bin/convert"
MISSING = 77


def need(tool):
    path = tool if os.path.isabs(tool) else shutil.which(tool)
    if not path or not os.access(path, os.X_OK):
        sys.exit(MISSING)
    return path


def run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, capture_output=True)


def photo(w=37, h=23, mode="RGB"):
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = ((x * 7) % 256, (y * 11) % 256, ((x + y) * 5) % 256)
    return im.convert(mode)


def with_alpha(mode="RGBA"):
    im = photo().convert("RGBA")
    px = im.load()
    for y in range(im.height):
        for x in range(im.width):
            r, g, b, _ = px[x, y]
            px[x, y] = (r, g, b, (x * 13 + y * 3) % 256)  # some fully transparent
    return im if mode == "RGBA" else im.convert("LA")


def bilevel():
    im = Image.new("1", (61, 19))
    px = im.load()
    for y in range(19):
        for x in range(61):
            px[x, y] = 255 if (x // 3 + y // 2) % 3 else 0
    return im


def read_any(path):
    """The picture as RGBA, by Pillow; 16-bit files by ImageMagick, whose 8-bit scaling is exact."""
    try:
        im = Image.open(path)
        im.seek(0)
        if im.mode in ("RGB", "RGBA", "L", "LA", "P", "1", "CMYK", "PA"):
            im.load()
            return im
    except Exception:
        pass
    need(CONVERT)
    out = subprocess.run([CONVERT, path + "[0]", "-depth", "8", "-alpha", "on", "rgba:-"],
                         capture_output=True, check=True).stdout
    size = subprocess.run(["/usr/bin/identify", "-format", "%w %h", path + "[0]"],
                          capture_output=True, check=True, text=True).stdout.split()
    return Image.frombytes("RGBA", (int(size[0]), int(size[1])), out)


def shown(im, orientation=None):
    """The picture turned as its EXIF orientation (or the one given) says."""
    if orientation is None:
        orientation = im.getexif().get(0x0112, 1)
    method = {2: Image.Transpose.FLIP_LEFT_RIGHT, 3: Image.Transpose.ROTATE_180,
              4: Image.Transpose.FLIP_TOP_BOTTOM, 5: Image.Transpose.TRANSPOSE,
              6: Image.Transpose.ROTATE_270, 7: Image.Transpose.TRANSVERSE,
              8: Image.Transpose.ROTATE_90}.get(orientation)
    return im.transpose(method) if method is not None else im


def write_pam(im, path):
    im = im.convert("RGBA")
    with open(path, "wb") as f:
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                % im.size)
        f.write(im.tobytes())


def colours(im):
    """The colours alone: no alpha, and no transparent colour carried along in im.info."""
    return Image.frombytes("RGB", im.size, im.convert("RGB").tobytes())


def opaque(im):
    """What every output shows of a source: its colours, alpha dropped, nothing transparent."""
    return colours(im).convert("RGBA")


def keyed(im):
    """The source's colours with the top-left pixel's colour made transparent."""
    rgb = colours(im)
    key = rgb.getpixel((0, 0))
    out = rgb.convert("RGBA")
    px = out.load()
    for y in range(out.height):
        for x in range(out.width):
            if px[x, y][:3] == key:
                px[x, y] = key + (0,)
    return out


def exif_jpeg(d, orientation):
    exif = Image.Exif()
    exif[0x0112] = orientation
    photo(40, 24).save(os.path.join(d, "in.jpg"), quality=95, exif=exif.tobytes())
    return "in.jpg"


def tiff_via_tiffcp(d, options, source=None, mode="RGB"):
    tiffcp = need("tiffcp")
    (source or photo(mode=mode)).save(os.path.join(d, "plain.tif"))
    run(tiffcp, *options, "plain.tif", "in.tif", cwd=d)
    os.remove(os.path.join(d, "plain.tif"))
    return "in.tif"


def tiff_via_convert(d, options, source=None):
    need(CONVERT)
    (source or photo()).save(os.path.join(d, "src.png"))
    run(CONVERT, "src.png", *options, "in.tif", cwd=d)
    os.remove(os.path.join(d, "src.png"))
    return "in.tif"


def palette_with_key():
    """A palette picture whose transparent index is neither the top-left nor the bottom-left
    entry, and whose bottom-left colour appears elsewhere too."""
    im = Image.new("P", (24, 16))
    im.putpalette([255, 0, 0, 0, 128, 0, 0, 0, 255, 250, 250, 0, 0, 0, 0] + [0] * 723)
    px = im.load()
    for y in range(16):
        for x in range(24):
            px[x, y] = (x // 4 + y // 3) % 5
    return im


def case_input(name, d):
    """Makes the input file of a case in d; returns its name and the picture it holds (as
    stored, before any orientation is applied) when that is not simply the file decoded."""
    def save(im, file, **kw):
        im.save(os.path.join(d, file), **kw)
        return file

    if name.startswith("tiff_"):
        kind = name[5:]
        if kind == "packbits": return save(photo(), "in.tif", compression="packbits")
        if kind == "deflate8": return save(photo(), "in.tif", compression="tiff_adobe_deflate")
        if kind == "deflate32946": return save(photo(), "in.tif", compression="tiff_deflate")
        if kind == "lzw_predictor":
            return tiff_via_tiffcp(d, ["-c", "lzw:2"])
        if kind == "jpeg_ycbcr": return tiff_via_tiffcp(d, ["-c", "jpeg:90"])
        if kind == "jpeg_rgb": return tiff_via_tiffcp(d, ["-c", "jpeg:r:90"])
        if kind == "g3": return save(bilevel(), "in.tif", compression="group3")
        if kind == "g4": return save(bilevel(), "in.tif", compression="group4")
        if kind == "tiled": return tiff_via_tiffcp(d, ["-t", "-w", "16", "-l", "16"])
        if kind == "tiled_deflate": return tiff_via_tiffcp(d, ["-t", "-w", "16", "-l", "16", "-c", "zip"])
        if kind == "separate": return tiff_via_tiffcp(d, ["-p", "separate"])
        if kind == "bigendian": return tiff_via_tiffcp(d, ["-B", "-c", "lzw"])
        if kind == "fillorder2": return tiff_via_tiffcp(d, ["-f", "lsb2msb"], bilevel())
        if kind == "rgb16": return tiff_via_convert(d, ["-depth", "16"])
        if kind == "grey16": return tiff_via_convert(d, ["-colorspace", "Gray", "-depth", "16"])
        if kind == "ycbcr": return save(photo().convert("YCbCr"), "in.tif")
        if kind == "palette": return save(photo().quantize(37), "in.tif", compression="tiff_lzw")
        if kind == "cmyk": return save(photo().convert("CMYK"), "in.tif")
        if kind == "cmyk_lzw": return save(photo().convert("CMYK"), "in.tif", compression="tiff_lzw")
        if kind == "grey_alpha": return save(with_alpha("LA"), "in.tif")
        if kind == "rgba": return save(with_alpha(), "in.tif")
        if kind == "rgba_separate": return tiff_via_tiffcp(d, ["-p", "separate"], with_alpha())
        if kind == "multipage":
            tiffcp = need("tiffcp")
            photo().save(os.path.join(d, "a.tif"))
            photo(20, 30).rotate(90, expand=True).save(os.path.join(d, "b.tif"))
            run(tiffcp, "a.tif", "b.tif", "in.tif", cwd=d)
            return "in.tif"
        if kind.startswith("orient"):
            # Decoders differ on whether loading turns a TIFF already: the picture as stored is
            # read before the tag is set, and turned by Pillow as the tag says.
            tiffset = need("tiffset")
            save(photo(), "in.tif")
            stored = read_any(os.path.join(d, "in.tif"))
            run(tiffset, "-s", "274", kind[6], "in.tif", cwd=d)
            return "in.tif", stored if kind.endswith("_asstored") else shown(stored, int(kind[6]))
        if kind == "upper_ext": return save(photo(), "in.TIFF")
    if name == "jpeg_cmyk_pillow":
        return save(photo().convert("CMYK"), "in.jpg", quality=95)
    if name == "jpeg_cmyk_convert":
        need(CONVERT)
        save(photo(), "src.png")
        run(CONVERT, "src.png", "-colorspace", "CMYK", "-quality", "95", "in.jpg", cwd=d)
        return "in.jpg"
    if name == "jpeg_no_app0":
        # A bare stream: the JFIF segment taken out, the tables follow SOI at once.
        buf = io.BytesIO()
        photo().save(buf, "JPEG", quality=95)
        data = buf.getvalue()
        assert data[2:4] == b"\xff\xe0"
        length = data[4] * 256 + data[5]
        with open(os.path.join(d, "in.jpg"), "wb") as f:
            f.write(data[:2] + data[4 + length:])
        return "in.jpg"
    if name.startswith("jpeg_exif"):
        return exif_jpeg(d, int(name.split("_")[2][0]))
    if name.startswith("gif_key"): return save(palette_with_key(), "in.gif", transparency=4)
    if name.startswith("png_key_palette"):
        return save(palette_with_key(), "in.png", transparency=4)
    if name.startswith("png_key_rgb"):
        return save(palette_with_key().convert("RGB"), "in.png", transparency=(0, 0, 0))
    raise SystemExit("unknown case " + name)


def make(name, d):
    file = case_input(name, d)
    if isinstance(file, tuple):
        file, im = file
    else:
        im = read_any(os.path.join(d, file))
        if name.startswith("jpeg_exif") and not name.endswith("_asstored"):
            im = shown(im)
    write_pam(keyed(im) if name.endswith("_transparent") else opaque(im),
              os.path.join(d, "expected.pam"))
    print(file)


def main():
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "decode":
        write_pam(read_any(sys.argv[2]), sys.argv[3])


if __name__ == "__main__":
    main()
