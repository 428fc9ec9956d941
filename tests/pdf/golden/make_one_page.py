#!/usr/bin/env python3
"""Writes one_page.pdf: the file the converter must write for a 3 x 2 full-colour image
named PDF0, written at the fixed time 2024-01-02 03:04:05 (its creation and save time). Written out piece by piece from the document layout;
only the deflated data come from zlib (level 9, zlib header and checksum).

The image, top row first: red, green, blue / white, black, (10, 20, 30).
"""
import os
import zlib

CRLF = b"\r\n"

pixels = bytes([255, 0, 0, 0, 255, 0, 0, 0, 255,
                255, 255, 255, 0, 0, 0, 10, 20, 30])
content = b"/F0 10 Tf\nq\n3 0 0 2 0 0 cm\n/PDF0 Do\nQ\n"


def obj(number, body):
    return str(number).encode() + b" 0 obj" + CRLF + body + CRLF + b"endobj" + CRLF


def dictionary(*lines):
    return b"<<" + CRLF + b"".join(line + CRLF for line in lines) + b">>"


def stream(data, *extra):
    packed = zlib.compress(data, 9)
    head = dictionary(b"/Length " + str(len(packed)).encode(), b"/Filter [/FlateDecode ]", *extra)
    return head + CRLF + b"stream" + CRLF + packed + b"\nendstream"


objects = [
    dictionary(b"/Type /Catalog", b"/Pages 3 0 R", b"/PageMode /UseNone",
               b"/PageLayout /SinglePage"),
    dictionary(b"/Producer (Hanabi version 0.9)", b"/Author ()", b"/Creator ()",
               b"/Keywords ()", b"/Subject ()", b"/Title ()",
               b"/CreationDate (D:20240102030405)", b"/ModDate (D:20240102030405)"),
    dictionary(b"/Type /Pages", b"/Kids [4 0 R ]", b"/Count 1"),
    dictionary(b"/Type /Page", b"/Parent 3 0 R", b"/MediaBox [0 0 3 2 ]",
               b"/Resources " + dictionary(b"/Font " + dictionary(b"/F0 6 0 R"),
                                           b"/XObject " + dictionary(b"/PDF0 7 0 R"),
                                           b"/ProcSet [/PDF /Text /ImageC ]"),
               b"/Contents 5 0 R"),
    stream(content),
    dictionary(b"/Type /Font", b"/Subtype /Type1", b"/Encoding /WinAnsiEncoding",
               b"/FirstChar 32", b"/LastChar 255", b"/BaseFont /Helvetica", b"/Name /F0"),
    stream(pixels, b"/Type /XObject", b"/Subtype /Image", b"/ColorSpace /DeviceRGB",
           b"/Width 3", b"/Height 2", b"/BitsPerComponent 8", b"/Name /PDF0"),
]

out = b"%PDF-1.2 " + CRLF
offsets = []
for number, body in enumerate(objects, start=1):
    offsets.append(len(out))
    out += obj(number, body)
xref_at = len(out)
out += b"xref" + CRLF + b"0 8" + CRLF + b"0000000000 65535 f" + CRLF
for offset in offsets:
    out += b"%010d 00000 n" % offset + CRLF
out += b"trailer" + CRLF + dictionary(b"/Size 8", b"/Root 1 0 R", b"/Info 2 0 R")
out += CRLF + b"startxref" + CRLF + str(xref_at).encode() + CRLF + b"%%EOF" + CRLF

with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "one_page.pdf"), "wb") as f:
    f.write(out)
