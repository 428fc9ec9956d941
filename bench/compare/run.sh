#!/usr/bin/env bash
# Whole-program comparison: pamirune-cli against ImageMagick (/usr/bin/convert, mogrify) and,
# for PNG, Pillow (/usr/bin/python3), on images made here with ImageMagick.
#
#   bench/compare/run.sh [--cli PATH] [--work DIR] [--runs N] [--large] [--keep]
#
#   --cli PATH  the console front end (default: build-bench/src/cli/pamirune-cli)
#   --work DIR  scratch folder for the test images and outputs (default: a fresh temp folder)
#   --runs N    timed runs per command, after one warm-up run (default 3)
#   --large     also scale the 4000x3000 image by 2 (8000x6000; slow, ~1 GB of memory)
#   --keep      leave the scratch folder behind
#
# Times with hyperfine when it is installed (apt-get install -y hyperfine), otherwise with the
# shell's clock. Prints one table of medians (seconds) and output sizes (bytes). Not a test:
# nothing here asserts a time. Every command reads the same JPEG and decodes it in full, so the
# figures are whole conversions, start-up included.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cli="$repo/build-bench/src/cli/pamirune-cli"
work=""
runs=3
large=0
keep=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --cli) cli=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --large) large=1; shift ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
done

convert=/usr/bin/convert
mogrify=/usr/bin/mogrify
python=/usr/bin/python3
for tool in "$cli" "$convert" "$mogrify" "$python"; do
  [[ -x $tool ]] || { echo "missing: $tool" >&2; exit 1; }
done
have_pillow=0
"$python" -c 'import PIL' 2>/dev/null && have_pillow=1
have_hyperfine=0
command -v hyperfine >/dev/null && have_hyperfine=1

if [[ -z $work ]]; then
  work=$(mktemp -d /tmp/pamirune-compare.XXXXXX)
fi
mkdir -p "$work"
[[ $keep -eq 1 ]] || trap 'rm -rf "$work"' EXIT
src="$work/src"
out="$work/out"
mkdir -p "$src" "$out/ours" "$out/im" "$out/pil" "$src/batch"

# --- test images ---------------------------------------------------------------------------
# Plasma fractals with a light blur: smooth areas, fine detail and many distinct colours, as
# in a photograph; saved as JPEG at quality 92, the usual camera-like source.
make_photo() {  # width height seed file
  "$convert" -seed "$3" -size "$1x$2" plasma:fractal -blur 0x1.5 -quality 92 "$4"
}
echo "Making test images in $work ..." >&2
[[ -f $src/large.jpg ]] || make_photo 4000 3000 11 "$src/large.jpg"
[[ -f $src/hd.jpg ]] || make_photo 1920 1080 12 "$src/hd.jpg"
for i in $(seq -w 1 50); do
  [[ -f $src/batch/s$i.jpg ]] || make_photo 640 480 "$((100 + 10#$i))" "$src/batch/s$i.jpg"
done

# Our settings file: no transparent colour, so every program writes the same opaque pixels.
ini="$work/pamirune.ini"
printf '[Format]\ntrs=0\n' >"$ini"
ours() {  # echo a pamirune-cli command line converting $1 with the remaining options
  local file=$1; shift
  printf '%q ' "$cli" --ini "$ini" --dispose keep --overwrite --no-dialogs --yes \
    --out-dir "$out/ours" "$@"
  printf '%q' "$file"
}

# The TIFF writer may not exist yet: ask it once on a tiny image.
have_tif=0
"$convert" -size 8x8 xc:red "$work/probe.jpg"
if eval "$(ours "$work/probe.jpg" --formats tif --colour full)" >/dev/null 2>&1 &&
   [[ -s $out/ours/probe.tif ]]; then
  have_tif=1
fi

have_im_pdf=0
"$convert" "$work/probe.jpg" "$work/probe.pdf" 2>/dev/null && have_im_pdf=1

# --- timing (bench/compare/timing.sh) -------------------------------------------------------
source "$repo/bench/compare/timing.sh"
results="$work/results.tsv"
: >"$results"
: >"$work/fail.log"

# case  our-command  our-output  im-command  im-output  [pillow-command  pillow-output]
compare() {
  local name=$1 our_cmd=$2 our_out=$3 im_cmd=$4 im_out=$5 pil_cmd=${6:-} pil_out=${7:-}
  echo "  $name" >&2
  local t_ours t_im="-" s_im="-" t_pil="-" s_pil="-"
  t_ours=$(median_of "$our_cmd")
  if [[ -n $im_cmd ]]; then
    t_im=$(median_of "$im_cmd")
    s_im=$(size_of $im_out)
  fi
  if [[ -n $pil_cmd && $have_pillow -eq 1 ]]; then
    t_pil=$(median_of "$pil_cmd")
    s_pil=$(size_of $pil_out)
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$t_ours" "$t_im" "$t_pil" \
    "$(size_of $our_out)" "$s_im" "$s_pil" >>"$results"
}

pil_png() {  # in out: Pillow's PNG at zlib level 6
  printf '%q -c %q %q %q' "$python" \
    'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2], compress_level=6)' \
    "$1" "$2"
}

echo "Timing ($runs runs each after a warm-up) ..." >&2
for img in hd large; do
  in="$src/$img.jpg"
  o="$out/ours/$img"
  m="$out/im/$img"
  # PNG: our level 3 is zlib level 6, as ImageMagick's quality 65 (zlib 6, adaptive filter)
  # and Pillow's compress_level=6.
  compare "$img png" "$(ours "$in" --formats png --colour full --level 3)" "$o.png" \
    "$convert $in -quality 65 $m.png" "$m.png" \
    "$(pil_png "$in" "$out/pil/$img.png")" "$out/pil/$img.png"
  compare "$img jpg q90" "$(ours "$in" --formats jpg --colour full --level 9)" "$o.jpg" \
    "$convert $in -quality 90 $m.jpg" "$m.jpg"
  compare "$img bmp 24-bit" "$(ours "$in" --formats bmp --colour full)" "$o.bmp" \
    "$convert $in -type TrueColor BMP3:$m.bmp" "$m.bmp"
  compare "$img bmp 256" "$(ours "$in" --formats bmp --colour 256)" "$o.bmp" \
    "$convert $in -colors 256 -type Palette BMP3:$m.bmp" "$m.bmp"
  compare "$img gif" "$(ours "$in" --formats gif --colour 256)" "$o.gif" \
    "$convert $in $m.gif" "$m.gif"
  if [[ $have_tif -eq 1 ]]; then
    compare "$img tif" "$(ours "$in" --formats tif --colour full)" "$o.tif" \
      "$convert $in -compress none $m.tif" "$m.tif"
  fi
  # Our PDF embeds the pixels with FlateDecode; ImageMagick is asked for the same. Debian's
  # ImageMagick policy forbids writing PDF, so Pillow (which embeds a JPEG) stands in then.
  im_pdf=""
  [[ $have_im_pdf -eq 1 ]] && im_pdf="$convert $in -compress Zip $m.pdf"
  compare "$img pdf" "$(ours "$in" --formats pdf --colour full)" "$o.pdf" "$im_pdf" "$m.pdf" \
    "$(printf '%q -c %q %q %q' "$python" \
      'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])' \
      "$in" "$out/pil/$img.pdf")" "$out/pil/$img.pdf"
  compare "$img 1/2 smooth" "$(ours "$in" --formats bmp --colour full --scale 1/2 --smooth)" \
    "$o.bmp" "$convert $in -resize 50% -type TrueColor BMP3:$m.bmp" "$m.bmp"
  if [[ $img == hd || $large -eq 1 ]]; then
    compare "$img 2x smooth" "$(ours "$in" --formats bmp --colour full --scale 2x --smooth)" \
      "$o.bmp" "$convert $in -resize 200% -type TrueColor BMP3:$m.bmp" "$m.bmp"
  fi
done

# 50 small images in one run of each program.
batch=("$src"/batch/*.jpg)
ours_batch() {
  printf '%q ' "$cli" --ini "$ini" --dispose keep --overwrite --no-dialogs --yes \
    --out-dir "$out/ours" "$@" "${batch[@]}"
}
compare "50x 640x480 png" "$(ours_batch --formats png --colour full --level 3)" \
  "$out/ours/s*.png" "$mogrify -path $out/im -quality 65 -format png $src/batch/*.jpg" \
  "$out/im/s*.png" \
  "$python -c 'import sys,glob; from PIL import Image
for f in sorted(glob.glob(sys.argv[1] + \"/*.jpg\")):
    Image.open(f).save(sys.argv[2] + \"/\" + f.rsplit(\"/\", 1)[1][:-3] + \"png\", compress_level=6)' \
$src/batch $out/pil" "$out/pil/s*.png"
compare "50x 640x480 jpg q90" "$(ours_batch --formats jpg --colour full --level 9)" \
  "$out/ours/s*.jpg" "$mogrify -path $out/im -quality 90 -format jpg $src/batch/*.jpg" \
  "$out/im/s*.jpg"

# --- table ---------------------------------------------------------------------------------
echo
echo "Medians in seconds (hyperfine=$have_hyperfine, runs=$runs, our tif writer=$have_tif," \
  "ImageMagick pdf writer=$have_im_pdf); sizes in bytes; fail = the command failed."
echo "ratio = ours / ImageMagick (below 1: we are faster)."
{
  printf 'case\tours\tIM\tratio\tPillow\tours bytes\tIM bytes\tPillow bytes\n'
  awk -F'\t' '{ r = ($3 + 0 > 0 && $2 + 0 > 0) ? sprintf("%.2f", $2 / $3) : "-";
                printf "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", $1, $2, $3, r, $4, $5, $6, $7 }' \
    "$results"
} | column -t -s $'\t'
