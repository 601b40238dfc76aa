#!/usr/bin/env bash
# Installs the Debian 12 packages that building and running Album need; with --tests, also
# the tools that its tests and benchmarks use. Nothing happens when everything is already
# there.
#   scripts/install-deps.sh           build and run (./run.sh)
#   scripts/install-deps.sh --tests   build, run and test (./test.sh)
set -euo pipefail

packages=(
    # build
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev
    # the Debian package: cpack reads the libraries' versions with dpkg-shlibdeps
    dpkg-dev
    # HEIC, HEIF and AVIF pictures: the program's own image plugin on libheif (libheif1 with
    # its HEVC and AV1 decoders and encoders comes with it; the tests encode with it)
    libheif-dev
    # JPEG pictures: decoded by libjpeg-turbo through its TurboJPEG interface
    libturbojpeg0-dev
    # WebP pictures: decoded by libwebp; TIFF pictures: Qt's own image plugins
    libwebp-dev qt6-image-formats-plugins
    # sound: Qt's GStreamer backend plays MP3 and WAV with these
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    # Qt's own dialogs and buttons in Italian
    qt6-translations-l10n
    # fonts close to the ones the windows were drawn with
    fonts-dejavu-core fonts-liberation2
)

test_packages=(
    # runs in a real X server with a window manager; the end-to-end test reads the screen
    # with ImageMagick, which also makes the benchmarks' pictures
    xvfb xauth xdotool openbox imagemagick
    # the show benchmark sees the frames in the X server
    libx11-dev libxdamage-dev
    # the fuzz target of the sanitizer build: clang with libFuzzer
    clang libclang-rt-14-dev
    # a private session bus for the screen saver and media controls test
    dbus-daemon
    # the package and the desktop's metadata, checked by their own tools
    lintian appstream desktop-file-utils
    # the print test's own print system: a CUPS scheduler, a PDF printer, and the PDF read back
    cups-daemon cups-client cups-filters printer-driver-cups-pdf poppler-utils
)

case "${1:-}" in
    --tests) packages+=("${test_packages[@]}") ;;
    "") ;;
    *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
