#!/usr/bin/env bash
# Takes the README's pictures of Album's windows from the real program in a private X server
# of 1024 x 768 with a window manager, playing the sample album: the setup window, the
# maximized viewer during a show and paused, and Qt's file dialog.
#   scripts/take-screenshots.sh [ALBUM_PROGRAM]   (default: build/album)
# Needs Xvfb, openbox, xdotool and ImageMagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."

program=$(realpath "${1:-build/album}")
docs=$PWD/docs
source tests/e2e/xsession.sh

# The album in a folder with a short name, as the pictures show it.
folder=/tmp/Immagini/Vacanze
[ ! -e /tmp/Immagini ] || { echo "/tmp/Immagini is in the way" >&2; exit 1; }
work=$(mktemp -d)
trap 'x_stop; rm -rf "$work" /tmp/Immagini' EXIT
mkdir -p "$folder"
cp examples/album/* "$folder/"

shoot() {
    import -window "$1" "$docs/$2"
    echo "docs/$2"
}

# Waits until the viewer names the picture called $1.
wait_for_picture() {
    for _ in $(seq 1 200); do
        [ "$(x_title "$viewer")" = "IMMAGINE  $folder/$1" ] && return 0
        sleep 0.05
    done
    x_fail "the viewer never showed $1"
}

x_start "$work" 1024x768
# Started in the album's folder, where the file dialog opens.
cd "$folder"
x_album "$work" "$program"
cd - >/dev/null
setup=$(x_window '^Album$')
x_scale "$setup"

x_click_twips "$setup" 3000 1695 990 300
x_key "$setup" ctrl+a
x_type "$setup" 3
x_click_twips "$setup" 6840 1230 885 345
dialog=$(x_window '^Apri')
sleep 1
shoot "$dialog" file-dialog.png
x_type "$dialog" Alba.JPG
x_key "$dialog" Return
x_no_window '^Apri'
sleep 0.5
shoot "$setup" setup-window.png

x_click_twips "$setup" 4920 2130 1350 390
viewer=$(x_window '^IMMAGINE  ')
x_maximized "$viewer"
width=$(x_twips "$X_WIDTH")
height=$(x_twips "$X_HEIGHT")
wait_for_picture Alba.JPG
sleep 1
shoot "$viewer" viewer-show.png

# The lighthouse, upright by its EXIF orientation, paused.
wait_for_picture Faro.JPG
sleep 0.5
x_click_twips "$viewer" $((width - 2300)) $((height - 1000)) 1455 375
sleep 1
shoot "$viewer" viewer-paused.png

# Back to the setup window, where the music goes on.
x_click_twips "$viewer" $((width - 2300)) $((height - 1000)) 1455 375
x_no_window '^IMMAGINE  '
sleep 0.5
shoot "$setup" setup-window-music.png
x_click_twips "$setup" 6360 2130 1350 390
