#!/usr/bin/env bash
# The speed and memory tasks of the converter against the peers, in one run: pamirune-cli,
# ImageMagick (convert), vips (libvips-tools), Pillow (/usr/bin/python3), cjpeg and djpeg
# (libjpeg-turbo-progs), the libtiff tools and img2pdf, whichever are installed.
#
#   bench/compare/peers.sh [--cli PATH] [--before PATH] [--work DIR] [--runs N] [--keep]
#
#   --cli PATH  the console front end (default: build-bench/src/cli/pamirune-cli)
#   --before PATH  another build of it (say, of an earlier commit), timed beside it
#   --work DIR  scratch folder for the inputs and outputs (default: a fresh temp folder)
#   --runs N    timed runs per command after one warm-up (default 5)
#   --keep      leave the scratch folder behind
#
# Prints, per task and program, the median wall time (hyperfine when installed, else the
# shell's clock), the CPU time (user + system) and the peak resident memory of one more run
# (/usr/bin/time), the output size, and the ratio of our median to the fastest peer's.
# Nothing here asserts a time. Inputs are made fresh with ImageMagick (plasma fractals, lightly
# blurred: smooth areas, fine detail and many colours, as in a photograph).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cli="$repo/build-bench/src/cli/pamirune-cli"
work=""
runs=5
keep=0
before=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --cli) cli=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --before) before=$(realpath "$2"); shift 2 ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
done
cli=$(realpath "$cli")
python=/usr/bin/python3
for tool in "$cli" /usr/bin/convert /usr/bin/time "$python"; do
  [[ -x $tool ]] || { echo "missing: $tool" >&2; exit 1; }
done
source "$repo/bench/compare/timing.sh"
have_pillow=0
"$python" -c 'import PIL' 2>/dev/null && have_pillow=1

if [[ -z $work ]]; then work=$(mktemp -d /tmp/pamirune-peers.XXXXXX); fi
mkdir -p "$work"
[[ $keep -eq 1 ]] || trap 'rm -rf "$work"' EXIT
src="$work/src"
out="$work/out"
mkdir -p "$src/frames" "$src/hd" "$out"

# --- inputs --------------------------------------------------------------------------------
make_photo() {  # width height seed file
  /usr/bin/convert -seed "$3" -size "$1x$2" plasma:fractal -blur 0x1.5 -quality 92 "$4"
}
echo "Making inputs in $work ..." >&2
[[ -f $src/photo.jpg ]] || make_photo 4000 3000 11 "$src/photo.jpg"
[[ -f $src/photo.bmp ]] || /usr/bin/convert "$src/photo.jpg" -type TrueColor "BMP3:$src/photo.bmp"
for i in $(seq -w 1 24); do
  [[ -f $src/hd/h$i.jpg ]] || make_photo 1920 1080 "$((200 + 10#$i))" "$src/hd/h$i.jpg"
done
for i in $(seq -w 1 20); do
  [[ -f $src/frames/f$i.png ]] ||
    /usr/bin/convert -seed "$((300 + 10#$i))" -size 320x240 plasma:fractal -blur 0x1 \
      "$src/frames/f$i.png"
done
hd20=("$src"/hd/h0*.jpg "$src"/hd/h1*.jpg "$src"/hd/h20.jpg)

ini="$work/pamirune.ini"
printf '[Format]\ntrs=0\n' >"$ini"
ours() {  # a pamirune-cli command line; the last arguments are the files
  printf '%q ' "$cli" --ini "$ini" --dispose keep --overwrite --no-dialogs --yes \
    --out-dir "$out" "$@"
}
py() {  # a Pillow command line running the given script with the remaining arguments
  local script=$1; shift
  printf '%q -c %q' "$python" "from PIL import Image; import sys, glob
$script"
  printf ' %q' "$@"
}

# --- timing (bench/compare/timing.sh) -------------------------------------------------------
results="$work/results.tsv"
: >"$results"
: >"$work/fail.log"

# run TASK PROGRAM COMMAND OUTPUT...  (ours is named "pamirune")
run() {
  local task=$1 prog=$2 cmd=$3; shift 3
  echo "  $task: $prog" >&2
  rm -f "$@"
  local t cp
  t=$(median_of "$cmd")
  cp=$(cpu_and_peak "$cmd")
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$task" "$prog" "$t" ${cp} "$(size_of "$@")" >>"$results"
  if [[ -n $before && $prog == pamirune* && $prog != *before* ]]; then
    run "$task" "$prog (before)" "${cmd//"$(printf %q "$cli")"/"$(printf %q "$before")"}" "$@"
  fi
}

echo "Timing ($runs runs each after a warm-up) ..." >&2
p="$src/photo.jpg"

# Peak memory with every format ticked: the pipeline's largest moment (no peer writes them all).
t="JPEG -> all eight formats"
run "$t" pamirune "$(ours --formats bmp,jpg,png,mag,ico,pdf,gif,tif --colour full "$p")" \
  "$out"/photo.{bmp,jpg,png,mag,ico,pdf,gif,tif}

t="JPEG -> 24-bit PNG, zlib 6"
run "$t" pamirune "$(ours --formats png --colour full --level 3 "$p")" "$out/photo.png"
have vips && run "$t" vips "vips pngsave $p $out/v.png --compression 6 --filter none" "$out/v.png"
[[ $have_pillow -eq 1 ]] && run "$t" Pillow \
  "$(py 'Image.open(sys.argv[1]).save(sys.argv[2], compress_level=6)' "$p" "$out/p.png")" "$out/p.png"
run "$t" ImageMagick "convert $p -quality 60 $out/m.png" "$out/m.png"

t="JPEG -> 256-colour PNG"
run "$t" pamirune "$(ours --formats png --colour 256 --level 3 "$p")" "$out/photo.png"
[[ $have_pillow -eq 1 ]] && run "$t" Pillow "$(py 'Image.open(sys.argv[1]).quantize(256, method=Image.Quantize.FASTOCTREE).save(sys.argv[2], compress_level=6)' "$p" "$out/p8.png")" "$out/p8.png"
have vips && run "$t" vips "vips pngsave $p $out/v8.png --palette --compression 6" "$out/v8.png"
run "$t" ImageMagick "convert $p -colors 256 PNG8:$out/m8.png" "$out/m8.png"

t="JPEG -> GIF"
run "$t" pamirune "$(ours --formats gif --colour 256 "$p")" "$out/photo.gif"
have vips && run "$t" vips "vips gifsave $p $out/v.gif" "$out/v.gif"
[[ $have_pillow -eq 1 ]] && run "$t" Pillow "$(py 'Image.open(sys.argv[1]).save(sys.argv[2])' "$p" "$out/p.gif")" "$out/p.gif"
run "$t" ImageMagick "convert $p $out/m.gif" "$out/m.gif"

t="JPEG -> TIFF LZW + predictor"
run "$t" pamirune "$(ours --formats tif --colour full "$p")" "$out/photo.tif"
have djpeg && have ppm2tiff && run "$t" "libtiff (djpeg+ppm2tiff)" \
  "djpeg -ppm $p > $out/t.ppm && ppm2tiff -c lzw:2 $out/t.ppm $out/t.tif" "$out/t.tif"
have vips && run "$t" vips "vips tiffsave $p $out/v.tif --compression lzw --predictor horizontal" "$out/v.tif"
run "$t" ImageMagick "convert $p -compress LZW -define tiff:predictor=2 $out/m.tif" "$out/m.tif"

t="20 PNG 320x240 -> looping GIF"
run "$t" pamirune "$(ours --formats gif --colour 256 --gif-anime --gif-order "$src"/frames/*.png)" \
  "$out/f20.gif"
[[ $have_pillow -eq 1 ]] && run "$t" Pillow "$(py 'fs = [Image.open(f) for f in sorted(glob.glob(sys.argv[1] + "/*.png"))]
fs[0].save(sys.argv[2], save_all=True, append_images=fs[1:], loop=0, duration=300)' "$src/frames" "$out/pa.gif")" "$out/pa.gif"
run "$t" ImageMagick "convert -delay 30 -loop 0 $src/frames/*.png $out/ma.gif" "$out/ma.gif"

t="20 JPEG 1920x1080 -> one PDF"
run "$t" pamirune "$(ours --formats pdf --colour full --pdf-batch --pdf-order "${hd20[@]}")" \
  "$out/h20.pdf"
if have djpeg && have ppm2tiff && have tiffcp && have tiff2pdf; then
  chain="rm -f $out/all.tif; for f in ${hd20[*]}; do djpeg -ppm \$f > $out/c.ppm && ppm2tiff $out/c.ppm $out/c.tif && tiffcp -a $out/c.tif $out/all.tif || exit 1; done; tiff2pdf -z -o $out/t.pdf $out/all.tif"
  run "$t" "libtiff (tiff2pdf -z)" "$chain" "$out/t.pdf"
fi
have img2pdf && run "$t" "img2pdf (JPEG kept)" "img2pdf -o $out/i.pdf ${hd20[*]}" "$out/i.pdf"
[[ $have_pillow -eq 1 ]] && run "$t" "Pillow (JPEG)" "$(py 'fs = [Image.open(f) for f in sys.argv[2:]]
fs[0].save(sys.argv[1], save_all=True, append_images=fs[1:])' "$out/p.pdf" "${hd20[@]}")" "$out/p.pdf"

t="smooth 1/2 (JPEG -> BMP)"
run "$t" pamirune "$(ours --formats bmp --colour full --scale 1/2 --smooth "$p")" "$out/photo.bmp"
have vips && run "$t" vips "vips resize $p $out/v.ppm 0.5 --kernel linear" "$out/v.ppm"
run "$t" ImageMagick "convert $p -resize 50% -type TrueColor BMP3:$out/m.bmp" "$out/m.bmp"

t="BMP -> JPEG quality 50"
run "$t" pamirune "$(ours --formats jpg --colour full --level 5 "$src/photo.bmp")" "$out/photo.jpg"
have cjpeg && run "$t" cjpeg "cjpeg -quality 50 -outfile $out/c.jpg $src/photo.bmp" "$out/c.jpg"
run "$t" ImageMagick "convert $src/photo.bmp -quality 50 $out/m.jpg" "$out/m.jpg"

# Several processes on one folder: 24 HD JPEGs to PNG, one file per process, one at a time and
# two at a time.
t="24 HD JPEG -> PNG, processes"
for n in 1 2; do
  run "$t" "pamirune xargs -P$n" \
    "printf '%s\\n' $src/hd/*.jpg | xargs -P$n -n1 $(ours --formats png --colour full --level 3)" \
    "$out"/h??.png
done

# --- table ---------------------------------------------------------------------------------
echo
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Median wall seconds of $runs runs (hyperfine: $(have hyperfine && echo yes || echo no)); CPU = user + system"
echo "seconds and peak = maximum resident set of one more run; ratio = ours / fastest peer"
echo "(for the process rows: one at a time / two at a time; for all eight formats: peak / decoded image)."
[[ -s $work/fail.log ]] && { echo "Failed commands:"; cat "$work/fail.log"; }
"$python" - "$results" <<'EOF'
import sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1])]
tasks = []
for r in rows:
    if r[0] not in tasks:
        tasks.append(r[0])
def num(v):
    try:
        return float(v)
    except ValueError:
        return None
print("| task | program | wall s | CPU s | peak MB | bytes | ratio |")
print("|---|---|---|---|---|---|---|")
for t in tasks:
    rs = [r for r in rows if r[0] == t]
    ours = [r for r in rs if r[1].startswith("pamirune")]
    peers = [num(r[2]) for r in rs if not r[1].startswith("pamirune") and num(r[2])]
    for r in rs:
        ratio = ""
        if r[1] in ("pamirune", "pamirune (before)") and peers and num(r[2]):
            ratio = "%.2f" % (num(r[2]) / min(peers))
        if t.endswith("all eight formats") and num(r[4]):
            # The peak against the decoded 4000 x 3000 photo (36 000 000 bytes).
            ratio = "peak %.2fx image" % (num(r[4]) * 1048576 / 36e6)
        if r[1].startswith("pamirune xargs -P2"):
            one = [o for o in ours if o[1] == r[1].replace("-P2", "-P1")]
            if one and num(one[0][2]) and num(r[2]):
                ratio = "%.2fx faster" % (num(one[0][2]) / num(r[2]))
        print("| %s | %s | %s | %s | %s | %s | %s |" % (t, r[1], r[2], r[3], r[4], r[5], ratio))
EOF
