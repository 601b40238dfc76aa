#!/usr/bin/env bash
# Builds the small sample album in examples/album/: ten JPEG pictures (landscape,
# portrait, square, one stored sideways with an EXIF orientation tag, one very
# large), a HEIC picture stored sideways with its own rotation, a WebP picture,
# and a few short pieces of music to go with them.
#
# Everything is drawn and synthesised here, so the output is the same on every
# run (fixed seeds) and nothing has to be downloaded.
#
# Usage: scripts/make-sample-album.sh        (from any directory, no arguments)
# Needs ImageMagick (convert, with HEIC and WebP as Debian builds it), python3,
# sox with MP3 support and lame.
set -euo pipefail

script_dir=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
repo_root=$(cd -- "$script_dir/.." && pwd)
out="$repo_root/examples/album"

missing=()
for tool in convert python3 sox lame; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if ((${#missing[@]})); then
    echo "Mancano i programmi: ${missing[*]}" >&2
    echo "Su Debian/Ubuntu: apt-get install imagemagick python3 sox libsox-fmt-mp3 lame" >&2
    exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
mkdir -p -- "$out"

# Moderate quality keeps the whole album at a few megabytes.
QUALITY=80

# save_jpeg SRC DEST [QUALITY]
save_jpeg() {
    convert "$1" -strip -sampling-factor 4:2:0 -quality "${3:-$QUALITY}" "$2"
}

# Soft grey texture (clouds, ripples, rock): a plasma fractal drawn small and
# blurred, stretched to W x H. Arguments: SEED SMALL_WxH W H BLUR OUT.
texture() {
    convert -seed "$1" -size "$2" plasma:fractal -colorspace gray \
        -blur "0x$5" -auto-level -resize "$3x$4!" "$6"
}

# Light grain so the smooth pictures look a little more like photographs.
# Arguments: SEED IN OUT [AMOUNT]
grain() {
    convert -seed "$1" "$2" -attenuate "${4:-0.12}" +noise Gaussian "$3"
}

# A blurred glow: a disc of COLOUR at X,Y with radius R on a W x H black canvas,
# blurred by working on a tenth of the size. Arguments: W H X Y R COLOUR BLUR OUT.
glow() {
    local w=$(($1 / 10)) h=$(($2 / 10)) x=$(($3 / 10)) y=$(($4 / 10)) r=$(($5 / 10))
    convert -size "${w}x${h}" xc:black -fill "$6" \
        -draw "circle $x,$y $((x + r)),$y" -blur "0x$7" \
        -resize "$1x$2!" "$8"
}

# Points of a hill or mountain outline for -draw polygon: the ridge runs across
# a W x H picture around height BASE with swings of AMP; the three frequencies
# and phases shape it, SHARP > 0 adds pointed peaks.
# Arguments: W H BASE AMP F1 F2 F3 PHASE [SHARP]
ridge() {
    awk -v w="$1" -v h="$2" -v base="$3" -v amp="$4" -v f1="$5" -v f2="$6" \
        -v f3="$7" -v ph="$8" -v sharp="${9:-0}" 'BEGIN {
        pi = 3.14159265; step = w / 200; pts = "0," h
        for (x = 0; x <= w + step / 2; x += step) {
            t = x / w * 2 * pi
            y = 0.55 * sin(f1 * t + ph) + 0.3 * sin(f2 * t + 2.1 * ph) \
                + 0.15 * sin(f3 * t + 0.7 * ph)
            if (sharp > 0) {
                s = sin(f3 * 1.7 * t + ph); if (s < 0) s = -s
                y += sharp * (s - 0.5)
            }
            pts = pts sprintf(" %d,%d", x, base - amp * y)
        }
        print pts " " w "," h
    }'
}

# Outline of a mountain range through the given peaks and saddles ("x,y ..."),
# with small irregular steps in between so the rock edge is not too smooth.
# Arguments: W H POINTS JITTER
peaks() {
    awk -v w="$1" -v h="$2" -v pts="$3" -v jit="$4" 'BEGIN {
        n = split(pts, p, " ")
        for (i = 1; i <= n; i++) { split(p[i], c, ","); px[i] = c[1]; py[i] = c[2] }
        out = "0," h
        for (i = 1; i < n; i++)
            for (x = px[i]; x < px[i + 1]; x += 6) {
                f = (x - px[i]) / (px[i + 1] - px[i])
                y = py[i] + f * (py[i + 1] - py[i])
                y += jit * (sin(x * 0.37) * 0.6 + sin(x * 0.113 + 1.3) * 0.4)
                out = out sprintf(" %d,%d", x, y)
            }
        print out sprintf(" %d,%d %d,%d", px[n], py[n], w, h)
    }'
}

# White shape on black (a mask) from polygon points. Arguments: W H POINTS OUT.
shape_mask() {
    convert -size "$1x$2" xc:black -fill white -draw "polygon $3" "$4"
}

# A mountain range as a picture with transparency: rock shaded from COLOUR_TOP
# to COLOUR_BOTTOM, a rock texture, and snow caps along the ridge above SNOW_Y
# (a band along the top edge of the outline, made ragged by the texture).
# Arguments: W H POINTS JITTER COLOUR_TOP COLOUR_BOTTOM SNOW_Y SEED OUT
range_layer() {
    local w=$1 h=$2 t="$tmp/range-$8"
    local lo=$((100 - $7 * 100 / h))
    texture "$8" "$((w / 4))x$((h / 4))" "$w" "$h" 0.6 "$t-rock.png"
    shape_mask "$w" "$h" "$(peaks "$w" "$h" "$3" "$4")" "$t-mask.png"
    convert "$t-mask.png" \( +clone -roll +0+$((h / 12)) \) -compose minus_src -composite \
        -blur 0x8 "$t-rock.png" -compose blend -define compose:args=40 -composite \
        -level 38%,42% "$t-mask.png" -compose multiply -composite \
        \( -size "${w}x$h" gradient:white-black -level "$lo%,$((lo + 12))%" \) -composite \
        -blur 0x1 "$t-snow.png"
    # Relief: the distance from the outline rises to ridges; with a little
    # texture on top it serves as a height map, lit from the upper left.
    convert "$t-mask.png" -morphology Distance Euclidean:4,8 -auto-level -blur 0x3 \
        \( "$t-rock.png" -blur 0x3 \) -compose blend -define compose:args=18 -composite \
        -shade 135x40 -auto-level "$t-light.png"
    convert -size "${w}x$h" gradient:"$5"-"$6" \
        \( "$t-light.png" +level 15%,85% \) -compose overlay -composite \
        \( -size "${w}x$h" xc:'#f6f8fc' \) "$t-snow.png" -compose over -composite \
        "$t-mask.png" -alpha off -compose copy-opacity -composite "$9"
}

# Stores EXIF orientation VALUE in a JPEG that has no EXIF block yet: the block
# goes right after the JFIF header. 6 means "turn 90 degrees clockwise to view".
# Arguments: FILE VALUE
set_exif_orientation() {
    local file=$1 value=$2 after=2
    if [[ ! $value =~ ^[1-8]$ ]]; then
        echo "Orientamento EXIF non valido: $value (ammessi 1-8)" >&2
        return 1
    fi
    if [[ $(od -An -tx1 -j2 -N2 "$file" | tr -d ' \n') == ffe0 ]]; then
        after=$((4 + $(od -An -tu1 -j4 -N1 "$file") * 256 + $(od -An -tu1 -j5 -N1 "$file")))
    fi
    {
        head -c "$after" "$file"
        # APP1, length 34: "Exif\0\0", big-endian TIFF header, IFD0 with one
        # entry (0x0112 Orientation, SHORT, count 1), no next IFD.
        printf '\xff\xe1\x00\x22Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0'
        printf '%b' "\\x$(printf %02x "$value")"
        printf '\0\0\0\0\0\0'
        tail -c +$((after + 1)) "$file"
    } >"$file.tmp"
    mv -- "$file.tmp" "$file"
}

# Stores a rotation in a HEIF file that has none: an irot box (ANGLE in quarter turns
# anticlockwise, 1-3) joins the primary picture's properties, and every offset into the data
# after it moves by the bytes added. 3 means "turn 90 degrees clockwise to view".
# Arguments: FILE ANGLE
set_heif_rotation() {
    python3 - "$1" "$2" <<'PYTHON'
import struct, sys

path, angle = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, "rb").read())

def boxes(start, end):
    """(type, box start, content start, box end) of the boxes between start and end."""
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, at)
        yield kind, at, at + 8, at + size
        at += size

def find(kind, start, end):
    return next(b for b in boxes(start, end) if b[0] == kind)

_, meta, meta_in, meta_end = find(b"meta", 0, len(data))
meta_in += 4  # version and flags
_, iprp, iprp_in, iprp_end = find(b"iprp", meta_in, meta_end)
_, ipco, ipco_in, ipco_end = find(b"ipco", iprp_in, iprp_end)
_, ipma, ipma_in, ipma_end = find(b"ipma", iprp_in, iprp_end)
_, _, pitm_in, _ = find(b"pitm", meta_in, meta_end)
primary = struct.unpack_from(">H" if data[pitm_in] == 0 else ">I", data, pitm_in + 4)[0]
if any(b[0] == b"irot" for b in boxes(ipco_in, ipco_end)):
    sys.exit("the file already has a rotation")
index = sum(1 for _ in boxes(ipco_in, ipco_end)) + 1

# The primary picture's associations get the new property, marked essential.
version, flags = data[ipma_in], data[ipma_in + 3]
wide_ids, wide_indices = version >= 1, flags & 1
at = ipma_in + 8
for _ in range(struct.unpack_from(">I", data, ipma_in + 4)[0]):
    item = struct.unpack_from(">I" if wide_ids else ">H", data, at)[0]
    at += 4 if wide_ids else 2
    count = data[at]
    if item == primary:
        data[at] += 1
        association_at = at + 1 + count * (2 if wide_indices else 1)
        association = struct.pack(">H", 0x8000 | index) if wide_indices else bytes([0x80 | index])
        break
    at += 1 + count * (2 if wide_indices else 1)
else:
    sys.exit("the primary picture has no properties")
irot = struct.pack(">I4sB", 9, b"irot", angle)

# Insert from the back so that the earlier places stay valid, then grow the boxes around them.
data[association_at:association_at] = association
data[ipco_end:ipco_end] = irot
added = len(irot) + len(association)
for box, grown in ((meta, added), (iprp, added), (ipco, len(irot)), (ipma + len(irot), len(association))):
    struct.pack_into(">I", data, box, struct.unpack_from(">I", data, box)[0] + grown)

# Offsets into the file past the insertion (the coded data after the metadata) move.
_, _, iloc_in, _ = find(b"iloc", meta_in, meta_end + added)
version = data[iloc_in]
sizes = data[iloc_in + 4] << 8 | data[iloc_in + 5]
offset_size, length_size, base_size = sizes >> 12, sizes >> 8 & 15, sizes >> 4 & 15
index_size = sizes & 15 if version >= 1 else 0
at = iloc_in + 6
count_format = ">H" if version < 2 else ">I"
items = struct.unpack_from(count_format, data, at)[0]
at += struct.calcsize(count_format)

def shift(at, size):
    if size:
        value = int.from_bytes(data[at:at + size], "big")
        if value >= iprp:
            data[at:at + size] = (value + added).to_bytes(size, "big")
    return at + size

for _ in range(items):
    at += 2 if version < 2 else 4
    method = data[at + 1] & 15 if version >= 1 else 0
    at += 2 if version >= 1 else 0
    at += 2  # data reference index
    base = int.from_bytes(data[at:at + base_size], "big")
    at = shift(at, base_size) if method == 0 else at + base_size
    extents = struct.unpack_from(">H", data, at)[0]
    at += 2
    for _ in range(extents):
        at += index_size
        at = shift(at, offset_size) if method == 0 and base == 0 else at + offset_size
        at += length_size
open(path, "wb").write(data)
PYTHON
}

# --- Alba: sunrise over a calm sea ---------------------------------------------
make_alba() {
    local w=1600 h=1067 hz=620 t="$tmp/alba"
    texture 11 160x62 $w $hz 1.2 "$t-clouds.png"
    texture 12 50x360 $w $((h - hz)) 0.5 "$t-waves.png"
    glow $w $h 800 $hz 120 '#ffcf8a' 6 "$t-halo.png"
    convert -size ${w}x${hz} gradient:'#2c3a72'-'#f4a761' \
        \( "$t-clouds.png" -level 20%,100% +level 35%,65% \) \
        -compose overlay -composite \
        \( -size ${w}x70 gradient:'#e2a072'-'#3a5680' \
           -size ${w}x$((h - hz - 70)) gradient:'#3a5680'-'#0a1d3a' -append \
           \( "$t-waves.png" +level 30%,70% \) -compose overlay -composite \) \
        -append \
        \( "$t-halo.png" \) -compose screen -composite \
        -fill '#fff1cf' -draw "circle 800,$((hz - 10)) 800,$((hz - 62))" \
        \( -size ${w}x$h xc:black -fill '#c08850' \
           -draw "polygon 780,$hz 820,$hz 900,$h 700,$h" -blur 0x14 \
           \( "$t-waves.png" -resize ${w}x$((h - hz))! -gravity south \
              -background black -extent ${w}x$h -level 45%,80% \) \
           -compose multiply -composite \) \
        -compose screen -composite "$t.png"
    grain 13 "$t.png" "$t-g.png"
    save_jpeg "$t-g.png" "$out/Alba.JPG"
}

# --- Mare: a summer beach, turquoise water and a few clouds ---------------------
make_mare() {
    local w=1600 h=1067 hz=430 t="$tmp/mare"
    texture 21 200x54 $w $hz 1.0 "$t-clouds.png"
    texture 22 50x300 $w $((h - hz)) 0.5 "$t-waves.png"
    texture 23 160x107 $w $h 0.4 "$t-sand.png"
    # Wet sand edge and foam follow the same gentle curve.
    local shore
    shore=$(ridge $w $h 820 26 1.3 3.1 5.3 0.8)
    shape_mask $w $h "$shore" "$t-beach.png"
    convert "$t-beach.png" -morphology EdgeIn Disk:6 -blur 0x4 -level 0,60% "$t-foam.png"
    convert -size ${w}x$hz gradient:'#2a74c4'-'#bfe0f4' \
        \( -size ${w}x$hz xc:white \) \
        \( "$t-clouds.png" -level 52%,82% -blur 0x3 \) -composite \
        \( -size ${w}x$((h - hz)) gradient:'#1f5f98'-'#2fb5b0' \
           \( "$t-waves.png" +level 35%,65% \) -compose overlay -composite \) \
        -compose over -append \
        \( -size ${w}x$h gradient:'#f2e0b8'-'#d8b884' \
           \( "$t-sand.png" +level 40%,60% \) -compose overlay -composite \) \
        "$t-beach.png" -compose over -composite \
        \( -size ${w}x$h xc:'#fbfdff' \) "$t-foam.png" -composite "$t.png"
    grain 24 "$t.png" "$t-g.png"
    save_jpeg "$t-g.png" "$out/Mare.JPG"
}

# --- Tramonto: the sun setting behind layers of hills ---------------------------
make_tramonto() {
    local w=1600 h=1067 t="$tmp/tramonto"
    texture 31 40x200 $w 700 0.6 "$t-streaks.png"
    glow $w $h 980 700 160 '#ffb060' 8 "$t-halo.png"
    shape_mask $w $h "$(ridge $w $h 690 40 1.1 2.7 4.9 0.3)" "$t-far.png"
    shape_mask $w $h "$(ridge $w $h 790 70 0.9 2.3 5.7 2.2)" "$t-mid.png"
    shape_mask $w $h "$(ridge $w $h 930 90 0.7 1.9 3.3 4.1)" "$t-near.png"
    convert -size ${w}x360 gradient:'#2e2456'-'#c8607a' \
        -size ${w}x$((h - 360)) gradient:'#c8607a'-'#ffd27a' -append \
        \( -size ${w}x$h xc:'#5a2a5a' \) \
        \( "$t-streaks.png" -level 55%,85% -gravity north -background black \
           -extent ${w}x$h -evaluate multiply 0.55 \) -gravity northwest -composite \
        \( "$t-halo.png" \) -compose screen -composite \
        -fill '#fff0c0' -draw 'circle 980,700 980,610' -compose over \
        \( -size ${w}x$h xc:'#a0507a' \) \( "$t-far.png" -blur 0x3 \) -composite \
        \( -size ${w}x$h xc:'#5a2e5c' \) \( "$t-mid.png" -blur 0x1.5 \) -composite \
        \( -size ${w}x$h xc:'#22142c' \) "$t-near.png" -composite "$t.png"
    grain 32 "$t.png" "$t-g.png"
    save_jpeg "$t-g.png" "$out/Tramonto.JPG"
}

# --- Notte: moon, stars and the lights of a village on the hill ---------------
make_notte() {
    local w=1600 h=1067 t="$tmp/notte"
    convert -seed 41 -size ${w}x$h xc:black +noise Random -channel R -separate +channel \
        -threshold 99.93% -blur 0x0.8 -level 0,30% "$t-stars.png"
    glow $w $h 1210 260 90 '#9fb4e0' 7 "$t-halo.png"
    local hill
    hill=$(ridge $w $h 860 60 0.8 2.1 4.3 1.3)
    shape_mask $w $h "$hill" "$t-hill.png"
    local lights="" x y
    for x in 300 318 342 361 380 402 431 455 470 498 526 540; do
        y=$((840 + (x * 37 % 41)))
        lights+="rectangle $x,$y $((x + 5)),$((y + 4)) "
    done
    convert -size ${w}x$h gradient:'#03061a'-'#23366a' \
        "$t-stars.png" -compose screen -composite \
        "$t-halo.png" -compose screen -composite \
        -fill '#f2eedc' -draw 'circle 1210,260 1210,215' \
        -fill '#d8d2bc' -draw 'circle 1198,250 1198,242' -draw 'circle 1226,276 1226,270' \
        -compose over \
        \( -size ${w}x$h xc:'#070a14' \) "$t-hill.png" -composite \
        -fill '#ffc860' -draw "$lights" "$t.png"
    grain 42 "$t.png" "$t-g.png" 0.08
    save_jpeg "$t-g.png" "$out/Notte.JPG"
}

# --- Bosco: a misty wood with light falling between the trunks (portrait) ------
make_bosco() {
    local w=1067 h=1600 t="$tmp/bosco"
    texture 51 107x60 $w 600 1.0 "$t-leaves.png"
    texture 52 107x160 $w $h 0.6 "$t-moss.png"
    # trunks: far (pale, soft), middle, near (dark, sharp)
    local far="" mid="" near="" x
    for x in 60 170 260 380 470 590 700 810 930 1010; do far+="rectangle $x,0 $((x + 16)),1300 "; done
    for x in 110 330 540 760 960; do mid+="rectangle $x,0 $((x + 34)),1380 "; done
    for x in 200 640 880; do near+="rectangle $x,0 $((x + 70)),1600 "; done
    convert -size ${w}x$h gradient:'#e8efd0'-'#3c5a2c' \
        \( -size ${w}x$h xc:black -fill white \
           -draw 'polygon 120,0 420,0 900,1600 560,1600' -blur 0x40 \
           -evaluate multiply 0.35 \) -compose screen -composite \
        -fill '#9aa88a' -draw "$far" -blur 0x5 \
        -fill '#5a5a3c' -draw "$mid" -blur 0x1.5 \
        \( -size ${w}x$h xc:'#2e4a1e' \( "$t-leaves.png" -level 25%,65% \
           \( -size ${w}x600 gradient:white-black \) -compose multiply -composite \
           -compose over -gravity north -background black -extent ${w}x$h -alpha off \) \
           -compose copy-opacity -composite \) \
        -gravity northwest -compose over -composite \
        \( -size ${w}x$h gradient:'#6a7a3a'-'#3a4a1e' \
           \( "$t-moss.png" +level 30%,70% \) -compose overlay -composite \
           \( -size ${w}x$h gradient:black-white -level 78%,86% \) \
           -alpha off -compose copy-opacity -composite \) \
        -compose over -composite \
        -fill '#2a2016' -draw "$near" "$t.png"
    grain 53 "$t.png" "$t-g.png"
    save_jpeg "$t-g.png" "$out/Bosco.JPG"
}

# --- Cielo: summer clouds over a meadow (portrait) ------------------------------
make_cielo() {
    local w=1067 h=1600 t="$tmp/cielo"
    texture 62 120x180 $w $h 1.4 "$t-clouds.png"
    glow $w $h 850 240 120 '#fff6d8' 8 "$t-halo.png"
    shape_mask $w $h "$(ridge $w $h 1380 50 0.6 1.7 3.9 2.6)" "$t-meadow.png"
    texture 64 107x160 $w $h 0.5 "$t-grass.png"
    convert -size ${w}x$h gradient:'#1b4c9c'-'#b7d6ee' \
        \( -size ${w}x$h xc:white \( "$t-clouds.png" +level 0,100% \) \
           -compose multiply -composite -level 0,75% \) \
        \( "$t-clouds.png" -level 42%,70% \) -compose over -composite \
        "$t-halo.png" -compose screen -composite \
        \( -size ${w}x$h gradient:'#8cc04a'-'#3f7a26' \
           \( "$t-grass.png" +level 30%,70% \) -compose overlay -composite \) \
        "$t-meadow.png" -compose over -composite "$t.png"
    grain 65 "$t.png" "$t-g.png"
    save_jpeg "$t-g.png" "$out/Cielo.JPG"
}

# --- Lago: snowy mountains mirrored in a still lake (portrait) -----------------
make_lago() {
    local w=1067 h=1600 hz=820 t="$tmp/lago"
    texture 72 30x400 $w $((h - hz)) 0.4 "$t-ripples.png"
    texture 73 107x160 $w $h 0.5 "$t-grass.png"
    range_layer $w $hz "0,420 90,330 170,380 260,230 330,300 420,160 500,260 560,330 \
        640,280 720,140 790,240 860,300 940,250 1067,340" 6 \
        '#a4aac0' '#5a6078' 330 71 "$t-mount.png"
    shape_mask $w $hz "$(ridge $w $hz 740 40 1.6 3.4 6.2 2.9)" "$t-pines.png"
    convert -size ${w}x$hz gradient:'#3a78c0'-'#dcebf5' \
        "$t-mount.png" -compose over -composite \
        \( -size ${w}x$hz xc:'#1e3a24' \) "$t-pines.png" -composite "$t-top.png"
    shape_mask $w $h "$(ridge $w $h 1460 25 1.1 2.9 4.7 1.9)" "$t-shore.png"
    convert "$t-top.png" \
        \( "$t-top.png" -flip -crop ${w}x$((h - hz))+0+0 +repage -blur 0x2 \
           -modulate 75,85 -fill '#1a3a5a' -colorize 15% \
           \( "$t-ripples.png" +level 40%,60% \) -compose overlay -composite \) \
        -compose over -append \
        \( -size ${w}x$h gradient:'#6a8a3a'-'#3a5a22' \
           \( "$t-grass.png" +level 30%,70% \) -compose overlay -composite \) \
        "$t-shore.png" -compose over -composite "$t.png"
    grain 74 "$t.png" "$t-g.png"
    save_jpeg "$t-g.png" "$out/Lago.JPG"
}

# --- Fiori: spring flowers in front of a blurred garden (square) ----------------
make_fiori() {
    local w=1200 h=1200 t="$tmp/fiori"
    texture 81 60x60 $w $h 1.5 "$t-bg.png"
    local bokeh="" flowers="" stems="" i cx cy r a colour
    local colours=('#f6b8d0' '#fff2a8' '#ffffff' '#c8a8f0' '#ffd0a0')
    for i in $(seq 0 17); do
        cx=$(((i * 431 + 97) % w)); cy=$(((i * 277 + 53) % (h / 2)))
        r=$((20 + (i * 13) % 45))
        bokeh+="fill ${colours[i % 5]} circle $cx,$cy $((cx + r)),$cy "
    done
    local centres=("300,760" "620,640" "900,820" "450,1020" "800,1080" "150,1000" "1080,560")
    local petals=('#f06a9a' '#fff4f8' '#f4c430' '#b070e0' '#ff8a5c' '#ffffff' '#f06a9a')
    for i in "${!centres[@]}"; do
        cx=${centres[i]%,*}; cy=${centres[i]#*,}
        for a in 0 45 90 135 180 225 270 315; do
            flowers+="push graphic-context translate $cx,$cy rotate $((a + i * 11)) "
            flowers+="fill ${petals[i]} ellipse 0,-42 17,40 0,360 pop graphic-context "
        done
        flowers+="fill #f7c21a circle $cx,$cy $((cx + 16)),$cy "
        stems+="fill #3c7a2a rectangle $((cx - 4)),$((cy + 20)) $((cx + 4)),$h "
    done
    convert \( "$t-bg.png" +level-colors '#1e4a18','#9ccc6a' \) \
        \( -size ${w}x$h xc:none -draw "$bokeh" -blur 0x10 -channel A \
           -evaluate multiply 0.7 +channel \) -compose over -composite \
        \( -size ${w}x$h xc:none -draw "$stems $flowers" -blur 0x1 \) -composite "$t.png"
    grain 82 "$t.png" "$t-g.png"
    save_jpeg "$t-g.png" "$out/Fiori.JPG"
}

# --- Faro: a lighthouse on the rocks, stored sideways -------------------------
# The pixels are saved turned a quarter to the left with EXIF orientation 6, so
# the picture only stands upright (sky on top, rocks at the bottom) in a viewer
# that honours the orientation tag.
make_faro() {
    local w=1067 h=1600 hz=1000 t="$tmp/faro"
    texture 91 40x300 $w $((h - hz)) 0.5 "$t-waves.png"
    texture 92 160x80 $w $hz 1.0 "$t-clouds.png"
    glow $w $h 820 260 110 '#fff4d0' 7 "$t-halo.png"
    range_layer $w $h "0,1150 120,1130 230,1100 340,1160 460,1180 560,1250 700,1340 \
        820,1420 940,1470 1067,1500" 10 '#8a7a66' '#4a4036' 0 93 "$t-cliff.png"
    # Tower from y=1170 (base) to y=520, narrowing upwards, red and white bands.
    local tower="" y0 y1 hw0 hw1 i colour
    for i in 0 1 2 3 4; do
        y0=$((1170 - i * 130)); y1=$((y0 - 130))
        hw0=$((85 - i * 6)); hw1=$((85 - (i + 1) * 6))
        if ((i % 2)); then colour='#f4f2ec'; else colour='#c8322a'; fi
        tower+="fill $colour polygon $((300 - hw0)),$y0 $((300 + hw0)),$y0 "
        tower+="$((300 + hw1)),$y1 $((300 - hw1)),$y1 "
    done
    tower+="fill rgba(0,0,0,0.18) polygon 330,1170 385,1170 355,520 330,520 "
    tower+="fill #2a2a30 rectangle 230,500 370,522 "
    tower+="fill #fff2b0 rectangle 262,430 338,500 "
    tower+="fill #2a2a30 rectangle 262,430 268,500 rectangle 297,430 303,500 "
    tower+="rectangle 332,430 338,500 rectangle 255,424 345,432 "
    tower+="fill #b02a24 polygon 250,426 350,426 300,370 "
    tower+="fill #2a2a30 circle 300,366 300,358 "
    # two gulls
    tower+="fill none stroke #30343c stroke-width 4 "
    tower+="polyline 640,520 660,508 678,520 696,508 716,520 "
    tower+="polyline 560,600 574,592 586,600 598,592 612,600 "
    convert -size ${w}x$hz gradient:'#3c7cc4'-'#dcebf6' \
        \( -size ${w}x$hz xc:white \) \( "$t-clouds.png" -level 60%,85% \) \
        -compose over -composite \
        \( -size ${w}x$((h - hz)) gradient:'#2d72a8'-'#153e66' \
           \( "$t-waves.png" +level 35%,65% \) -compose overlay -composite \) \
        -compose over -append \
        "$t-halo.png" -compose screen -composite \
        -fill '#fffaf0' -draw 'circle 820,260 820,215' \
        "$t-cliff.png" -compose over -composite \
        -draw "$tower" "$t.png"
    grain 94 "$t.png" "$t-g.png"
    convert "$t-g.png" -rotate -90 "$t-side.png"
    save_jpeg "$t-side.png" "$out/Faro.JPG"
    set_exif_orientation "$out/Faro.JPG" 6
}

# --- Dolomiti: a very large picture (6000 x 4000) ------------------------------
# Painted at a quarter of the size and enlarged: smooth content keeps the file
# small while the viewer still has to cope with 24 megapixels.
make_dolomiti() {
    local w=1500 h=1000 t="$tmp/dolomiti"
    texture 101 150x40 $w 400 1.0 "$t-clouds.png"
    texture 102 150x100 $w $h 0.5 "$t-grass.png"
    range_layer $w $h "0,560 120,470 220,520 330,420 420,470 560,380 640,430 \
        760,400 880,460 1000,390 1120,450 1240,420 1380,480 1500,440" 3 \
        '#b8c4dc' '#8a98b8' 440 103 "$t-far.png"
    range_layer $w $h "0,640 80,560 150,600 230,330 300,420 360,250 420,360 \
        470,300 540,470 620,520 700,430 780,220 840,300 900,200 960,330 1040,420 \
        1120,380 1200,460 1300,350 1380,420 1500,560" 5 \
        '#e8d8c8' '#8a7a70' 360 104 "$t-main.png"
    shape_mask $w $h "$(ridge $w $h 640 40 1.3 3.7 7.1 0.4)" "$t-forest.png"
    shape_mask $w $h "$(ridge $w $h 790 50 0.7 1.9 3.1 2.4)" "$t-meadow.png"
    convert -size ${w}x$h gradient:'#2f6fc0'-'#d6e8f6' \
        \( -size ${w}x$h xc:white \) \( "$t-clouds.png" -level 55%,85% \
           -compose over -gravity north -background black -extent ${w}x$h \) \
        -composite \
        "$t-far.png" -composite "$t-main.png" -composite \
        \( -size ${w}x$h gradient:'#2c5a34'-'#16301c' \
           \( "$t-grass.png" +level 30%,70% \) -compose overlay -composite \) \
        "$t-forest.png" -compose over -composite \
        \( -size ${w}x$h gradient:'#a8cc60'-'#4e8a2c' \
           \( "$t-grass.png" +level 35%,65% \) -compose overlay -composite \) \
        "$t-meadow.png" -compose over -composite "$t-small.png"
    grain 105 "$t-small.png" "$t-grain.png" 0.06
    convert "$t-grain.png" -filter Lanczos -resize 6000x4000! -strip \
        -sampling-factor 4:2:0 -quality 85 "$out/Dolomiti.JPG"
}

# --- Campanile: a bell tower among cypresses, as a phone saves it (HEIC) --------
# The pixels are stored turned a quarter to the left and the file's own rotation
# box (irot) turns them back, so the tower only stands upright in a viewer that
# honours the rotation of a HEIF file.
make_campanile() {
    local w=1067 h=1600 t="$tmp/campanile"
    texture 111 107x160 $w $h 1.0 "$t-clouds.png"
    texture 112 107x160 $w $h 0.5 "$t-grass.png"
    shape_mask $w $h "$(ridge $w $h 1180 50 0.8 2.3 4.1 1.7)" "$t-hill.png"
    # Tower from y=1240 (base) up to the belfry at y=420, the spire up to y=250.
    local tower="" cypress="" x
    tower+="fill #c9a27a rectangle 420,560 640,1240 "
    tower+="fill #b08a64 rectangle 590,560 640,1240 "
    tower+="fill #d8b48c rectangle 405,540 655,560 rectangle 405,800 655,816 "
    tower+="rectangle 405,1040 655,1056 "
    tower+="fill #3a2a22 roundrectangle 455,600 505,720 22,22 roundrectangle 555,600 605,720 22,22 "
    tower+="fill #5a4a3a roundrectangle 505,880 555,960 20,20 "
    tower+="fill #c9a27a rectangle 440,420 620,540 "
    tower+="fill #2e2420 roundrectangle 470,440 520,530 22,22 roundrectangle 540,440 590,530 22,22 "
    tower+="fill #c8a040 circle 495,500 495,484 circle 565,500 565,484 "
    tower+="fill #8a3a2a polygon 425,420 635,420 530,250 "
    tower+="fill #4a4440 rectangle 527,200 533,252 rectangle 515,214 545,220 "
    for x in 150 260 800 910; do
        cypress+="fill #1e3a22 ellipse $x,1060 40,200 0,360 "
    done
    convert -size ${w}x$h gradient:'#4a86cc'-'#e6eef4' \
        \( -size ${w}x$h xc:white \) \
        \( "$t-clouds.png" -level 58%,85% \( -size ${w}x$h gradient:white-black \) \
           -compose multiply -composite \) -compose over -composite \
        \( -size ${w}x$h gradient:'#8cb04a'-'#4a7a2a' \
           \( "$t-grass.png" +level 30%,70% \) -compose overlay -composite \) \
        "$t-hill.png" -compose over -composite \
        -draw "$tower $cypress" "$t.png"
    grain 113 "$t.png" "$t-g.png" 0.06
    convert "$t-g.png" -rotate -90 -strip -quality 45 "$out/Campanile.HEIC"
    set_heif_rotation "$out/Campanile.HEIC" 3
}

# --- Vigneto: rows of vines on a hill at the end of summer (WebP) ---------------
make_vigneto() {
    local w=1600 h=1067 t="$tmp/vigneto"
    texture 121 160x107 $w $h 1.0 "$t-clouds.png"
    texture 122 160x107 $w $h 0.5 "$t-soil.png"
    glow $w $h 1250 260 140 '#fff0c0' 8 "$t-halo.png"
    shape_mask $w $h "$(ridge $w $h 470 40 0.9 2.1 4.7 0.6)" "$t-far.png"
    shape_mask $w $h "$(ridge $w $h 560 30 0.6 1.7 3.9 2.2)" "$t-hill.png"
    # Vine rows: curves that fan out from the crest of the hill towards the viewer.
    local rows="" i x0 x1
    for i in $(seq -14 14); do
        x0=$((800 + i * 34)); x1=$((800 + i * 150))
        rows+="path 'M $x0,560 Q $(((x0 + x1) / 2)),800 $x1,$h' "
    done
    convert -size ${w}x$h gradient:'#3e7cc8'-'#f2e2c0' \
        \( -size ${w}x$h xc:white \) \
        \( "$t-clouds.png" -level 60%,88% \( -size ${w}x$h gradient:white-black \) \
           -compose multiply -composite \) -compose over -composite \
        "$t-halo.png" -compose screen -composite \
        \( -size ${w}x$h xc:'#7a8ab0' \) \( "$t-far.png" -blur 0x2 \) -compose over -composite \
        \( -size ${w}x$h gradient:'#b89a5a'-'#8a6a3a' \
           \( "$t-soil.png" +level 35%,65% \) -compose overlay -composite \
           -fill none -stroke '#3e6a22' -strokewidth 14 -draw "$rows" \) \
        "$t-hill.png" -compose over -composite -stroke none \
        -fill '#e8dcc4' -draw 'rectangle 1180,500 1300,570' \
        -fill '#a4442e' -draw 'polygon 1170,502 1310,502 1240,462' \
        -fill '#4a3a30' -draw 'rectangle 1200,530 1220,570 rectangle 1250,520 1275,540' "$t.png"
    grain 123 "$t.png" "$t-g.png"
    convert "$t-g.png" -strip -quality 80 -define webp:method=6 "$out/Vigneto.WEBP"
}

# --- Music ----------------------------------------------------------------------
# Short pieces made of soft chords: notes are synthesised one by one (in
# floating point, so the quiet mix keeps its detail), mixed, given a little
# room reverb and a fade, then encoded. Pitches are semitones
# from A4 (440 Hz): C4 = -9, E4 = -5, G4 = -2, C5 = 3.

notes=()

# note START LENGTH WAVE SEMITONES GAIN_DB ATTACK: one note that swells in over
# ATTACK seconds and then slowly dies away.
note() {
    local f="$tmp/note-${#notes[@]}.wav"
    sox -R -n -r 44100 -c 1 -e floating-point -b 32 "$f" synth "$2" "$3" "%$4" \
        fade h "$6" "$2" "$(awk -v l="$2" -v a="$6" 'BEGIN { print l - a }')" \
        gain "$5" pad "$1" 0
    notes+=("$f")
}

# arpeggio START STEP END WAVE GAIN_DB SEMITONES...: the notes one after the
# other, each ringing on until END.
arpeggio() {
    local start=$1 step=$2 end=$3 wave=$4 gain=$5 i=0 at s
    shift 5
    for s in "$@"; do
        at=$(awk -v s="$start" -v d="$step" -v i=$i 'BEGIN { print s + i * d }')
        note "$at" "$(awk -v e="$end" -v a="$at" 'BEGIN { print e - a }')" \
            "$wave" "$s" "$gain" 0.03
        i=$((i + 1))
    done
}

# pad START LENGTH WAVE GAIN_DB SEMITONES...: a held chord that swells in.
pad() {
    local start=$1 len=$2 wave=$3 gain=$4 s
    shift 4
    for s in "$@"; do note "$start" "$len" "$wave" "$s" "$gain" 0.6; done
}

# finish_piece OUT TITLE: mixes the notes collected so far into a stereo MP3.
finish_piece() {
    local dry="$tmp/piece-dry.wav" wav="$tmp/piece.wav"
    # Reverb first (with a second of room for its tail), then the fades, which
    # need the final length.
    sox -R -m "${notes[@]}" "$dry" channels 2 pad 0 1 reverb 45 50 80 100 15
    sox -R "$dry" "$wav" gain -n -3 fade q 0.05 -0 1.2
    lame --quiet -b 96 -m j --resample 44.1 --tt "$2" --ta "Album" "$wav" "$1"
    rm -f -- "${notes[@]}"
    notes=()
}

make_music() {
    # Alba: C major seventh rising, then F major seventh.
    arpeggio 0 0.3 2.6 sine -6 -9 -5 -2 2 7
    pad 0 2.6 triangle -16 -21 -17 -14
    arpeggio 2.4 0.3 5.0 sine -6 -4 0 3 7
    pad 2.4 2.6 triangle -16 -16 -12 -9
    finish_piece "$out/Alba.MP3" "Alba"

    # Mare: slow, wide F major seventh to B flat major seventh.
    arpeggio 0 0.45 2.8 triangle -8 -16 -9 -5 0
    pad 0 2.8 sine -14 -28 -16
    arpeggio 2.6 0.45 5.2 triangle -8 -11 -7 -4 0
    pad 2.6 2.6 sine -14 -23 -11
    finish_piece "$out/Mare.MP3" "Mare"

    # Tramonto: A minor seventh falling, then F major seventh, warm and low.
    arpeggio 0 0.35 2.9 sine -6 7 3 -2 -5 -9
    pad 0 2.9 triangle -16 -24 -12 -9
    arpeggio 2.7 0.35 5.6 sine -6 3 0 -5 -9
    pad 2.7 2.9 triangle -16 -28 -16 -12
    finish_piece "$out/Tramonto.MP3" "Tramonto"

    # Bosco: quick G major add-nine and C major add-nine, like birdsong above.
    arpeggio 0 0.18 2.0 triangle -8 -14 -10 -7 0 2 5
    pad 0 2.0 sine -16 -26 -14
    arpeggio 1.9 0.18 4.2 triangle -8 -9 -5 -2 5 7 10
    pad 1.9 2.3 sine -16 -21 -9
    arpeggio 3.0 0.12 4.2 sine -12 14 17 19
    finish_piece "$out/Bosco.MP3" "Bosco"

    # Campanile: bells, G major ringing down over a low held fifth.
    arpeggio 0 0.5 4.2 sine -4 10 7 3 -2
    arpeggio 2.2 0.5 5.4 sine -6 5 3 -2 -9
    pad 0 5.4 triangle -18 -26 -19
    finish_piece "$out/Campanile.MP3" "Campanile"

    # Vigneto: an easy D major to G major, like a country song.
    arpeggio 0 0.25 2.4 triangle -8 -7 -3 0 5 0 -3
    pad 0 2.4 sine -15 -19 -14
    arpeggio 2.2 0.25 4.8 triangle -8 -2 2 5 10 5 2
    pad 2.2 2.6 sine -15 -14 -9
    finish_piece "$out/Vigneto.MP3" "Vigneto"
}

# Tramonto.WAV is the stand-in for Tramonto.MP3: the slideshow queues the MP3
# of a picture only when it exists, and if the MP3 has gone by the time its turn
# comes, it plays the WAV with the same name instead. Delete or rename
# Tramonto.MP3 while the show is running to hear it. (An E flat major chord,
# 16-bit PCM, 22050 Hz mono.)
make_fallback_wav() {
    pad 0 2.6 sine -8 -6 -2 1 6
    arpeggio 0.2 0.25 2.6 triangle -14 -6 -2 1
    sox -R -m "${notes[@]}" "$tmp/fallback-dry.wav" pad 0 0.6 reverb 40 50 70
    sox -R "$tmp/fallback-dry.wav" -r 22050 -c 1 -b 16 "$out/Tramonto.WAV" \
        gain -n -3 fade q 0.05 -0 0.9
    rm -f -- "${notes[@]}"
    notes=()
}

write_readme() {
    cat >"$out/LEGGIMI.txt" <<'TESTO'
Album di esempio
================

Un piccolo album per provare la presentazione.

Immagini (.JPG):
- orizzontali, 1600 x 1067: Alba, Mare, Tramonto, Notte;
- verticali, 1067 x 1600: Bosco, Cielo, Lago;
- quadrata, 1200 x 1200: Fiori;
- Faro: i pixel sono salvati di lato (1600 x 1067) con l'orientamento EXIF 6;
  il faro appare diritto, con il cielo in alto e gli scogli in basso, solo
  se il programma rispetta l'orientamento EXIF;
- Dolomiti: un'immagine molto grande, 6000 x 4000 pixel.

Altri formati (estensione HEIC o WEBP):
- Campanile.HEIC, verticale, come la salva un telefono: i pixel sono salvati
  di lato con la rotazione propria del file HEIF (irot); il campanile appare
  diritto solo se il programma la rispetta;
- Vigneto.WEBP, orizzontale, come si salva un'immagine dal web.
Con l'estensione "JPG HEIC WEBP" la presentazione le mostra tutte insieme,
nell'ordine dei nomi.

Musica:
- Alba.MP3, Mare.MP3, Tramonto.MP3, Bosco.MP3, Campanile.MP3, Vigneto.MP3:
  brevi accordi di pochi secondi che accompagnano l'immagine con lo stesso
  nome;
- Tramonto.WAV: la riserva di Tramonto.MP3. Viene suonato solo se
  Tramonto.MP3, gia' messo in coda, non c'e' piu' quando arriva il suo
  turno (per provarlo, rinominare Tramonto.MP3 durante la presentazione).

Con il pacchetto Debian l'album e' in /usr/share/doc/album/examples:
"album /usr/share/doc/album/examples" lo apre.

Immagini e suoni sono disegnati e sintetizzati da
scripts/make-sample-album.sh (nei sorgenti di Album) con ImageMagick, python3, sox e lame: nulla e' stato
scaricato. Lo script li ricrea identici:

    scripts/make-sample-album.sh
TESTO
}

make_alba
make_mare
make_tramonto
make_notte
make_bosco
make_cielo
make_lago
make_fiori
make_faro
make_dolomiti
make_campanile
make_vigneto
make_music
make_fallback_wav
write_readme

echo "Album di esempio creato in $out:"
ls -l -- "$out"
