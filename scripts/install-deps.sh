#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Album need.
# Nothing happens when everything is already there.
set -euo pipefail

packages=(
    # build
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev
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
    # runs in a real X server with a window manager; the end-to-end test reads the screen
    # with ImageMagick
    xvfb xauth xdotool openbox imagemagick
    # the fuzz target of the sanitizer build: clang with libFuzzer
    clang libclang-rt-14-dev
    # a private session bus for the screen saver test
    dbus-daemon
    # the package and the desktop's metadata, checked by their own tools
    dpkg-dev lintian appstream desktop-file-utils
    # the print test's own print system: a CUPS scheduler, a PDF printer, and the PDF read back
    cups-daemon cups-client cups-filters printer-driver-cups-pdf poppler-utils
)

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
