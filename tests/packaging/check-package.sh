#!/usr/bin/env bash
# Builds the Debian package as `cpack -G DEB` does for users, and checks it with lintian: no
# error and no warning. Also checks that it depends on what the program needs beyond the
# libraries it links, so that it runs on a fresh Debian 12, and that it holds the sample album.
#   check-package.sh BUILD_DIR
set -euo pipefail

build=$1
. "$(dirname "$0")/common.sh"
out=$scratch

for tool in cpack lintian dpkg-deb; do
    command -v "$tool" >/dev/null || fail "$tool is missing; scripts/install-deps.sh installs it"
done

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || {
    cat "$out/cpack.log" >&2
    fail "cpack could not build the package"
}
debs=("$out"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single package: ${debs[*]}"
deb=${debs[0]}

# Everything lintian says, infos too; errors and warnings fail.
status=0
lintian --no-cfg --display-info --fail-on error,warning "$deb" >"$out/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$out/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian found errors or warnings in $(basename "$deb")"

# The packages the program loads at run time, which dpkg-shlibdeps cannot see in its links
# (libheif is loaded with the first HEIF picture).
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*//; s/ //g')
for package in gstreamer1.0-plugins-base gstreamer1.0-plugins-good qt6-translations-l10n \
    qt6-wayland qt6-image-formats-plugins libheif1; do
    grep -qx "$package" <<<"$depends" || fail "the package does not depend on $package"
done
# The sample album: its pictures, its tracks and its text.
contents=$(dpkg-deb -c "$deb")
for file in Alba.JPG Campanile.HEIC Alba.MP3 Tramonto.WAV LEGGIMI.txt; do
    grep -q " ./usr/share/doc/album/examples/$file\$" <<<"$contents" ||
        fail "the package has no sample album's $file"
done
echo "PASS: $(basename "$deb") is clean for lintian and depends on what Album needs"
