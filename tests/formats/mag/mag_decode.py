#!/usr/bin/python3
"""An independent MAG reader for the tests: prints what a MAG file holds.

Usage: mag_decode.py FILE

Output, one item per line:
  size WIDTH HEIGHT BITS        decoded size and bits per pixel (4 or 8)
  start X Y                     start coordinates as stored
  comment HEX                   comment bytes
  palette RRGGBB ...            every palette entry
  vectors N0 ... N15            how often each flag nibble was used
  row HEX                       one line per image row, one hex digit per 4-bit pixel or
                                two per 8-bit pixel
Exit status 1 with a message on stderr when the file is not a readable MAG file.
"""
import struct
import sys

VECTORS = [None, (0, 1), (0, 2), (0, 4), (1, 0), (1, 1), (2, 0), (2, 1), (2, 2),
           (4, 0), (4, 1), (4, 2), (8, 0), (8, 1), (8, 2), (16, 0)]


def fail(message):
    sys.stderr.write(message + "\n")
    sys.exit(1)


def decode(data):
    if data[:8] != b"MAKI02  ":
        fail("not a MAG file")
    end = data.find(b"\x1a", 32)
    if end < 0:
        fail("comment has no end")
    comment = data[32:end]
    h = end + 1
    if len(data) < h + 32:
        fail("short header")
    (mode,) = struct.unpack_from("<B", data, h + 3)
    sx, sy, ex, ey = struct.unpack_from("<4H", data, h + 4)
    off_a, off_b, size_b, off_p, size_p = struct.unpack_from("<5I", data, h + 12)
    colours = 256 if mode & 0x80 else 16
    align = 4 if colours == 256 else 8
    left = sx // align * align
    right = ex // align * align + align
    width, height = right - left, ey - sy + 1
    flags_per_line = width // align
    words_per_line = 2 * flags_per_line
    palette = []
    for n in range(colours):
        g, r, b = data[h + 32 + 3 * n: h + 35 + 3 * n]
        palette.append((r, g, b))

    flag_a = data[h + off_a:]
    flag_b = iter(data[h + off_b:])
    pixels = data[h + off_p:]
    pixel_pos = 0
    words = []  # words[y][x] as 2-byte strings
    line_flags = [0] * flags_per_line
    used = [0] * 16
    bit = 0
    for y in range(height):
        row = []
        for i in range(flags_per_line):
            if flag_a[bit // 8] & (0x80 >> (bit % 8)):
                line_flags[i] ^= next(flag_b)
            bit += 1
            for k in (line_flags[i] >> 4, line_flags[i] & 15):
                used[k] += 1
                x = len(row)
                if k == 0:
                    if pixel_pos + 2 > len(pixels):
                        fail("pixel data runs out")
                    row.append(bytes(pixels[pixel_pos:pixel_pos + 2]))
                    pixel_pos += 2
                else:
                    up, back = VECTORS[k]
                    if y - up < 0 or x - back < 0:
                        fail("reference outside the image")
                    source = row if up == 0 else words[y - up]
                    row.append(source[x - back])
        words.append(row)

    print("size %d %d %d" % (width, height, 8 if colours == 256 else 4))
    print("start %d %d" % (sx, sy))
    print("comment " + comment.hex())
    print("palette " + " ".join("%02x%02x%02x" % p for p in palette))
    print("vectors " + " ".join(str(n) for n in used))
    for row in words:
        print("row " + b"".join(row).hex())


def main():
    if len(sys.argv) != 2:
        fail(__doc__)
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    try:
        decode(data)
    except (IndexError, StopIteration, struct.error):
        fail("file is cut short")


if __name__ == "__main__":
    main()
