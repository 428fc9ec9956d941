#!/usr/bin/env bash
# Prints one sha256 line per file written by a fixed set of conversions (every output format,
# several colour, scale, transparency and level settings, the PDF and GIF batches). Run it with
# two builds and diff the lists to show that a change leaves every output byte-identical:
#
#   tools/output-fingerprint.sh /tmp/old/pamirune-cli > before.txt
#   tools/output-fingerprint.sh build/src/cli/pamirune-cli > after.txt
#   diff before.txt after.txt
#
# The PDF creation date and the PNG tIME chunk are the time of writing, so they are blanked
# before hashing.
set -euo pipefail
cli=$(realpath "${1:?usage: output-fingerprint.sh PATH-TO-pamirune-cli}")
py=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"

"$py" - "$work/in" <<'EOF'
import sys
from PIL import Image
d = sys.argv[1]
w, h = 97, 61
photo = Image.new("RGB", (w, h))
photo.putdata([((x * 7 + y * 3) % 256, (x * y) % 256, (255 - x * 2 - y) % 256)
               for y in range(h) for x in range(w)])
photo.save(f"{d}/photo.png")
photo.save(f"{d}/jpeg.jpg", quality=90)
photo.convert("L").save(f"{d}/gray.png")
rgba = photo.convert("RGBA")
rgba.putdata([(r, g, b, 0 if (x + y) % 5 == 0 else 255)
              for (r, g, b), (x, y) in zip(photo.getdata(), ((x, y) for y in range(h) for x in range(w)))])
rgba.save(f"{d}/alpha.png")
pal = photo.quantize(16)
pal.save(f"{d}/pal.gif", transparency=3)
pal.save(f"{d}/pal8.bmp")
photo.save(f"{d}/lzw.tif", compression="tiff_lzw")
Image.new("1", (33, 17), 1).save(f"{d}/mono.bmp")
EOF

ini="$work/settings.ini"
printf '[Flag]\n' >"$ini"
common=(--ini "$ini" --dispose keep --overwrite --no-dialogs --yes --formats bmp,jpg,png,mag,ico,pdf,gif,tif)
run() {
  local name=$1
  shift
  mkdir -p "$work/out/$name"
  (cd "$work/in" && "$cli" "${common[@]}" --out-dir "$work/out/$name" "$@" \
    photo.png jpeg.jpg gray.png alpha.png pal.gif pal8.bmp lzw.tif mono.bmp >/dev/null 2>&1) ||
    echo "$name: exit status $?"
}
run default
run colour-256 --colour 256
run colour-full --colour full
run colour-bw --colour bw
run half-smooth --scale 1/2 --smooth
run two-thirds --scale 2/3
run triple --scale 3x
run transparent --transparent --colour 256
run level-0 --level 0
run level-10 --level 10
run icon-32 --icon-size 32 --colour full
run suffix --suffix-s --level 5
run pdf-batch --pdf-batch --pdf-order --formats pdf
run pdf-batch-full --pdf-batch --pdf-order --colour full --formats pdf
run gif-anime --gif-anime --gif-order --delay 7 --formats gif

cd "$work/out"
find . -type f | LC_ALL=C sort | "$py" -c '
import hashlib, re, struct, sys
for name in sys.stdin.read().split("\n"):
    if not name:
        continue
    data = open(name, "rb").read()
    if name.endswith(".pdf"):
        data = re.sub(rb"\(D:[0-9+\-Z\x27]*\)", b"()", data)
    elif name.endswith(".png"):
        out, i = bytearray(data[:8]), 8
        while i + 8 <= len(data):
            n = struct.unpack(">I", data[i:i + 4])[0]
            chunk = data[i:i + 12 + n]
            if chunk[4:8] == b"tIME":
                chunk = chunk[:8] + bytes(n + 4)
            out += chunk
            i += 12 + n
        data = bytes(out)
    print(hashlib.sha256(data).hexdigest() + "  " + name)
'
