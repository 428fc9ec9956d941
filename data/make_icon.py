#!/usr/bin/python3
"""Draws the program's icon as PNG files (the same picture as pamirune.svg).

Run from anywhere: writes pamirune.png (256 pixels) and icons/<size>/pamirune.png beside this
script. Needs Pillow (/usr/bin/python3 on Debian has it)."""
import os

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
SCALE = 4  # drawn large, then reduced: smooth edges


def draw(size=256):
    s = SCALE * size / 256.0
    big = int(256 * s)

    def p(v):
        return int(round(v * s))

    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    # The pink tile with a vertical gradient.
    tile = Image.new("RGBA", (big, big))
    td = ImageDraw.Draw(tile)
    top, bottom = (0xFF, 0xA6, 0xC9), (0xE8, 0x59, 0x8F)
    for y in range(big):
        t = y / max(1, big - 1)
        c = tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
        td.line([(0, y), (big, y)], fill=c + (255,))
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).rounded_rectangle([p(8), p(8), p(248), p(248)], radius=p(44), fill=255)
    img.paste(tile, (0, 0), mask)

    # The picture card, slightly turned.
    card = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    cd = ImageDraw.Draw(card)
    cd.rounded_rectangle([p(40), p(62), p(196), p(186)], radius=p(10), fill=(255, 255, 255, 255))
    cd.rectangle([p(52), p(74), p(184), p(174)], fill=(0xBF, 0xE6, 0xFF, 255))
    cd.ellipse([p(138), p(86), p(166), p(114)], fill=(0xFF, 0xD8, 0x4A, 255))
    cd.polygon([(p(52), p(174)), (p(94), p(118)), (p(122), p(150)), (p(142), p(128)),
                (p(184), p(174))], fill=(0x4C, 0xB5, 0x6A, 255))
    card = card.rotate(8, resample=Image.BICUBIC, center=(p(118), p(132)))
    img = Image.alpha_composite(img, card)

    # The note.
    d = ImageDraw.Draw(img)
    white = (255, 255, 255, 255)
    d.line([(p(196), p(150)), (p(196), p(206))], fill=white, width=max(1, p(8)))
    d.polygon([(p(196), p(150)), (p(226), p(176)), (p(196), p(166))], fill=white)
    d.ellipse([p(169), p(197), p(199), p(219)], fill=white)
    return img.resize((size, size), Image.LANCZOS)


def main():
    draw(256).save(os.path.join(HERE, "pamirune.png"))
    for size in (16, 32, 48, 256):
        folder = os.path.join(HERE, "icons", str(size))
        os.makedirs(folder, exist_ok=True)
        draw(size).save(os.path.join(folder, "pamirune.png"))


if __name__ == "__main__":
    main()
