#!/usr/bin/env bash
# Makes the bench's pictures as 24-bit BMP files in DIR (default
# ${TMPDIR:-/tmp}/bmp256-photos), each once; bench/compare.sh calls it.
# Real photographs from Debian packages (bench/install.sh installs them):
# mate-backgrounds' nature photographs and scikit-image's samples, cropped to
# odd widths so that every row has pad bytes, and the largest of them
# (Elephants, 5640 x 3172) cropped to 12 MP and enlarged to 48 MP; beside
# them the generated picture the tests use (tools/sample_image).
#
#   bench/photos.sh [DIR]          prints the list: NAME PATH SET, one a line
#
# SET is "speed" for the sizes timed (0.07, 1, 12 and 48 MP) and "quality"
# for the nine photographs whose mean PSNR is compared.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-${TMPDIR:-/tmp}/bmp256-photos}
build=${BUILD:-build}
mkdir -p "$dir"
mate=/usr/share/backgrounds/mate
skimage=/usr/lib/python3/dist-packages/skimage/data
[ -f "$mate/abstract/Elephants_5640x3172.jpg" ] && [ -d "$skimage" ] ||
  { echo "photos.sh: the photographs are not installed (bench/install.sh)" >&2; exit 1; }

# name|source|crop left,top,width,height (or resize:width,height)|set
pictures=(
  "chelsea-0.07mp|$skimage/chelsea.png|crop:60,40,307,229|speed"
  "garden-1mp|$mate/nature/Garden.jpg|crop:300,200,1153,867|speed"
  "elephants-12mp|$mate/abstract/Elephants_5640x3172.jpg|crop:800,100,4001,2999|speed"
  "elephants-48mp|$mate/abstract/Elephants_5640x3172.jpg|resize:9237,5195|speed"
  "astronaut|$skimage/astronaut.png|crop:0,0,511,512|quality"
  "coffee|$skimage/coffee.png|crop:0,0,599,400|quality"
  "chelsea|$skimage/chelsea.png|crop:0,0,451,300|quality"
  "aqua|$mate/nature/Aqua.jpg|crop:0,0,2559,1600|quality"
  "dune|$mate/nature/Dune.jpg|crop:0,0,1679,1050|quality"
  "freshflower|$mate/nature/FreshFlower.jpg|crop:0,0,1599,1203|quality"
  "greenmeadow|$mate/nature/GreenMeadow.jpg|crop:0,0,1279,1024|quality"
  "ladybird|$mate/nature/LadyBird.jpg|crop:0,0,2559,1600|quality"
  "storm|$mate/nature/Storm.jpg|crop:0,0,1919,1280|quality"
)

for entry in "${pictures[@]}"; do
  IFS='|' read -r name source how set <<<"$entry"
  out=$dir/$name.bmp
  if [ ! -s "$out" ]; then
    /usr/bin/python3 - "$source" "$how" "$out.part" <<'PY'
import sys
from PIL import Image
source, how, out = sys.argv[1:4]
image = Image.open(source).convert("RGB")
kind, numbers = how.split(":")
n = [int(v) for v in numbers.split(",")]
if kind == "crop":
    image = image.crop((n[0], n[1], n[0] + n[2], n[1] + n[3]))
else:
    image = image.resize((n[0], n[1]), Image.LANCZOS)
image.save(out, "BMP")
PY
    mv "$out.part" "$out"
  fi
  echo "$name $out $set"
done

generated=$dir/generated-12mp.bmp
if [ ! -s "$generated" ]; then
  if [ -x "$build/bin/bmp256-bench" ]; then
    "$build/bin/bmp256-bench" --write-photo "$generated" 12
  elif [ -x "$build/bin/make_sample" ]; then
    "$build/bin/make_sample" "$generated" 4001 2999
  else
    echo "photos.sh: neither bmp256-bench nor make_sample is built in $build" >&2
    exit 1
  fi
fi
echo "generated-12mp $generated speed"
