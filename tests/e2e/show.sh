#!/usr/bin/env bash
# Album in a real X server with a window manager, used as a user would with xdotool: the delay
# typed, "Sfoglia ..." and a picture's path typed into Qt's file dialog, "CONFERMA", PAUSA at
# the lower right of the maximized viewer during the first picture, a click on the background
# to go on, the viewer's title naming the pictures in turn, PAUSA again, STAMPA (no printer:
# its message), USCITA, "F I N E", and the program's exit status 0; then the program started on
# the folder, as the file manager starts it, and CONFERMA alone, where F11 puts the show on the
# whole screen with PAUSA at its lower right and F11 again brings it back; then on a folder without
# pictures, where USCITA is at the lower right. Every button is clicked where the layouts put
# it in the maximized viewer: a click elsewhere would go on with the show instead.
#   show.sh ALBUM_PROGRAM SAMPLE_ALBUM_FOLDER
# Exits 77 (skipped) where Xvfb, openbox, xdotool or ImageMagick is missing, except under CI,
# where that fails.
set -euo pipefail

program=$1
sample=$2
# Long enough for the first picture to be seen on a busy machine before the next one comes.
delay=2

for tool in Xvfb openbox xdotool import convert; do
    if ! command -v "$tool" >/dev/null; then
        if [ -n "${CI:-}" ]; then
            echo "FAIL: $tool is missing; scripts/install-deps.sh installs it" >&2
            exit 1
        fi
        echo "SKIP: $tool is missing"
        exit 77
    fi
done

# shellcheck source=tests/e2e/xsession.sh
source "$(dirname "$0")/xsession.sh"

work=$(mktemp -d)
cleanup() {
    x_stop
    rm -rf "$work"
}
trap cleanup EXIT

# The sample album, copied so that nothing in the repository is touched.
album=$(cd "$work" && mkdir album && realpath album)
cp "$sample"/* "$album"/
mapfile -t pictures < <(cd "$album" && printf '%s\n' *.JPG | sort -f)
[ ${#pictures[@]} -ge 6 ] || x_fail "the sample album has too few pictures"
first=${pictures[0]}

# The place of a picture in the folder's order, -1 for none; from a viewer's title.
index_of_title() {
    local title=$1 i
    for i in "${!pictures[@]}"; do
        if [ "$title" = "IMMAGINE  $album/${pictures[$i]}" ]; then
            echo "$i"
            return
        fi
    done
    echo -1
}

# Waits until the viewer names a picture other than the one named by $1; prints the title.
next_title() {
    local current=$1 seconds=$2 title i
    for i in $(seq 1 $((seconds * 20))); do
        title=$(x_title "$viewer")
        if [ -n "$title" ] && [ "$title" != "$current" ]; then
            echo "$title"
            return 0
        fi
        sleep 0.05
    done
    x_fail "the viewer still shows '$current' after ${seconds}s"
}

# Checks that the viewer's title stays the same for longer than two delays: the show is paused.
stays() {
    local title=$1 i
    for i in $(seq 1 20); do
        sleep 0.1
        [ "$(x_title "$viewer")" = "$title" ] || x_fail "paused, but the viewer went on to '$(x_title "$viewer")'"
    done
}

x_start "$work" 1920x1080
# No printer: STAMPA answers with its message.
export CUPS_SERVER=$work/no-printer
x_album "$work" "$program"

setup=$(x_window '^Album$')
x_scale "$setup"
echo "setup window found; scale $X_SCALE"

# The delay: select the field's text and type over it.
x_click_twips "$setup" 3000 1695 990 300
x_key "$setup" ctrl+a
x_type "$setup" "$delay"

# "Sfoglia ...": Qt's own file dialog, whose file-name field has the focus; a path typed there
# and Return choose the file.
x_click_twips "$setup" 6840 1230 885 345
dialog=$(x_window '^Apri')
echo "file dialog: $(x_title "$dialog")"
for _ in 1 2 3; do
    x_key "$dialog" ctrl+a
    x_type "$dialog" "$album/$first"
    x_key "$dialog" Return
    for i in $(seq 1 50); do
        [ -n "$(xdotool search --onlyvisible --name '^Apri' 2>/dev/null || true)" ] || break 2
        sleep 0.1
    done
    echo "the file dialog is still open; typing the path again"
done
x_no_window '^Apri'

# "CONFERMA": the viewer opens maximized and names the first picture as soon as it shows it.
x_click_twips "$setup" 4920 2130 1350 390
viewer=$(x_window '^(FOTO|IMMAGINE  .*)$')
title=$(x_title "$viewer")
[ "$title" != FOTO ] || title=$(next_title FOTO 10)
echo "viewer: $title"
[ "$title" = "IMMAGINE  $album/$first" ] || x_fail "the show began with '$title', not $first"

# The buttons' places in the client area, from the viewer's outer size: the pause button of a
# running show, where "USCITA" stands once paused, and "STAMPA" beside it.
x_maximized "$viewer"
width=$(x_twips "$X_WIDTH")
height=$(x_twips "$X_HEIGHT")
pause=("$viewer" $((width - 2300)) $((height - 1000)) 1455 375)
print=("$viewer" $((width - 4100)) $((height - 1000)) 1215 375)

# PAUSA there during the first picture: the title stays.
x_button "${pause[@]}" PAUSA
x_click_twips "${pause[@]}"
sleep 0.2
paused=$(x_title "$viewer")
stays "$paused"
echo "paused at: $paused"

# In the paused show the toggle is hidden: a click on the background goes on with the next one.
x_click "$viewer" $((X_WIDTH - 3)) 3
title=$(next_title "$paused" 10)
echo "going on: $title"
[ "$(index_of_title "$title")" -eq $(($(index_of_title "$paused") + 1)) ] ||
    x_fail "after '$paused' the show went on with '$title'"
last=$(index_of_title "$title")
for _ in 2 3; do
    title=$(next_title "$title" 10)
    index=$(index_of_title "$title")
    echo "viewer: $title"
    [ "$index" -gt "$last" ] || x_fail "'$title' does not follow ${pictures[$last]}"
    last=$index
done

# PAUSA again; STAMPA without a printer says so; USCITA: the viewer goes, the setup window stays.
x_click_twips "${pause[@]}"
sleep 0.2
stays "$(x_title "$viewer")"
x_button "${print[@]}" STAMPA
x_button "${pause[@]}" USCITA
x_click_twips "${print[@]}"
x_key "$(x_other_window '^Album$' "$setup")" Return
echo "STAMPA: a message"
x_click_twips "${pause[@]}"
x_no_window '^IMMAGINE  '
x_window '^Album$' >/dev/null
echo "viewer left"

# "F I N E": the program ends with status 0.
x_click_twips "$setup" 6360 2130 1350 390
status=
for i in $(seq 1 150); do
    if ! kill -0 "$X_ALBUM_PID" 2>/dev/null; then
        status=0
        wait "$X_ALBUM_PID" || status=$?
        break
    fi
    sleep 0.1
done
[ -n "$status" ] || x_fail "album is still running 15s after F I N E"
X_ALBUM_PID=
[ "$status" -eq 0 ] || x_fail "album ended with status $status"
echo "album ended with status 0"

# Opened on the folder, as the file manager does: the show starts with CONFERMA (a delay typed
# first that lets the first picture be seen on a busy machine, and the next come soon after).
x_album "$work" "$program" "$album"
setup=$(x_window '^Album$')
x_click_twips "$setup" 3000 1695 990 300
x_key "$setup" ctrl+a
x_type "$setup" 3
x_click_twips "$setup" 4920 2130 1350 390
viewer=$(x_window '^(FOTO|IMMAGINE  .*)$')
title=$(x_title "$viewer")
[ "$title" != FOTO ] || title=$(next_title FOTO 10)
[ "$title" = "IMMAGINE  $album/$first" ] || x_fail "album $album began with '$title'"
echo "opened on the folder, the show began with $first at CONFERMA"

# F11: the viewer takes the whole screen without its frame, PAUSA stands where the running
# layout puts it for that size, and the show goes on; F11 again brings the maximized window back.
screen=$(xdotool getdisplaygeometry)
x_viewer_at() {
    local i
    for i in $(seq 1 50); do
        eval "$(xdotool getwindowgeometry --shell "$viewer")"
        [[ "$X $Y $WIDTH $HEIGHT" =~ $1 ]] && return 0
        sleep 0.1
    done
    x_fail "after F11 the viewer stands at $X,$Y ${WIDTH}x$HEIGHT on a screen of $screen ($2)"
}
x_key "$viewer" F11
x_viewer_at "^0 0 $screen\$" "not on the whole screen"
# Read from the screen: ImageMagick's import cannot take a window on the whole screen by its id.
x_button root "${pause[@]:1}" PAUSA
title=$(next_title "$(x_title "$viewer")" 10)
x_key "$viewer" F11
x_viewer_at "^[0-9]+ [0-9]+ ${screen% *} [0-9]+\$" "not maximized"
[ "$HEIGHT" -lt "${screen#* }" ] || x_fail "after F11 again the viewer has no frame"
echo "F11: the whole screen with PAUSA at the lower right, the show going on ($title); F11: maximized"

# A folder without pictures: the viewer stays empty, with USCITA at the lower right.
kill "$X_ALBUM_PID"
wait "$X_ALBUM_PID" 2>/dev/null || true
mkdir "$work/empty"
x_album "$work" "$program" "$work/empty"
setup=$(x_window '^Album$')
x_click_twips "$setup" 4920 2130 1350 390
viewer=$(x_window '^FOTO$')
sleep 0.5
x_button "$viewer" "${pause[@]:1}" USCITA
x_click_twips "$viewer" "${pause[@]:1}"
x_no_window '^FOTO$'
echo "in the viewer of a folder without pictures, USCITA was at the lower right"

# A path that is not there: the message is centred on the setup window.
kill "$X_ALBUM_PID"
wait "$X_ALBUM_PID" 2>/dev/null || true
x_album "$work" "$program" "$work/no such place"
setup=$(x_window '^Album$')
box=$(x_other_window '^Album$' "$setup")
x_size "$setup"
[ "$X_WIDTH" -eq "$(x_px 7980)" ] || read -r setup box <<<"$box $setup"
# Its middle lies within the setup window.
eval "$(xdotool getwindowgeometry --shell "$box")"
x=$((X + WIDTH / 2)) y=$((Y + HEIGHT / 2))
eval "$(xdotool getwindowgeometry --shell "$setup")"
[ $((x - X)) -gt 0 ] && [ $((x - X)) -lt "$WIDTH" ] && [ $((y - Y)) -gt 0 ] && [ $((y - Y)) -lt "$HEIGHT" ] ||
    x_fail "the message's middle ($x, $y) is off the setup window at ($X, $Y)"
echo "PASS: the message for a path that is not there is on its window"
