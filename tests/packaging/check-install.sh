#!/usr/bin/env bash
# Installs the build into a temporary root as `cmake --install` does for a package, and checks
# what a desktop needs to list and start the program: the program, a desktop entry that names it
# and its icon, the metainfo that ties them together for software centres, the manual pages,
# the icon at every size it is installed at, and the sample album where Debian keeps examples.
#   check-install.sh BUILD_DIR
set -euo pipefail

build=$1
. "$(dirname "$0")/common.sh"
root=$scratch

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
share=$root/usr/share

[ -x "$root/usr/bin/album" ] || fail "usr/bin/album is missing or not executable"

desktop=$share/applications/album.desktop
[ -f "$desktop" ] || fail "the desktop entry is missing"
grep -qx 'Exec=album %f' "$desktop" || fail "the desktop entry does not start album with a path"
grep -qx 'Icon=album' "$desktop" || fail "the desktop entry does not name the icon"
grep -qx 'Name=Album' "$desktop" || fail "the desktop entry has no name"
grep -qx 'Categories=Graphics;Photography;' "$desktop" || fail "wrong categories"
grep -q '^MimeType=inode/directory;image/jpeg;' "$desktop" || fail "folders and pictures do not open with album"

metainfo=$share/metainfo/io.github.torvex.album.metainfo.xml
[ -s "$metainfo" ] || fail "the AppStream metainfo is missing"
grep -q '<launchable type="desktop-id">album.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not name the desktop entry"
# The metainfo with the desktop entry and icons it refers to, as software centres take them.
report=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli: $report"
for page in man/man1/album.1.gz man/it/man1/album.1.gz; do
    gzip -t "$share/$page" 2>/dev/null || fail "the manual page $page is missing"
done

[ -s "$share/icons/hicolor/scalable/apps/album.svg" ] || fail "the scalable icon is missing"
grep -q '<svg' "$share/icons/hicolor/scalable/apps/album.svg" || fail "the scalable icon is no SVG"
for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/album.png
    [ -s "$png" ] || fail "the ${size}x${size} icon is missing"
    # Width and height from the PNG header, big-endian at bytes 16 and 20.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
    if [ "$width" != "$size" ] || [ "$height" != "$size" ]; then
        fail "the ${size}x${size} icon is ${width}x${height}"
    fi
done
examples=$share/doc/album/examples
diff -r "$(dirname "$0")/../../examples/album" "$examples" >/dev/null ||
    fail "the sample album is not whole in /usr/share/doc/album/examples"
echo "PASS: the installed tree is complete"
