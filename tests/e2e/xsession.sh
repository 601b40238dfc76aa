# shellcheck shell=bash
# Helpers to run Album in a private X server with a window manager (openbox) and use it with
# xdotool as a user would. Sourced by tests/e2e/show.sh and scripts/take-screenshots.sh. The
# window manager places, frames and maximizes the windows as on a desktop: windows are found
# by their titles and clicked at places relative to them.

# The setup window's client width, pixels at 96 dpi: the measure of the screen's scale.
readonly SETUP_WIDTH_PX=532

x_fail() {
    echo "FAIL: $*" >&2
    x_report
    exit 1
}

# Prints what helps to understand a failure: the program's output, and a picture of the
# screen where ImageMagick is there to take it.
x_report() {
    if [ -n "${X_LOG:-}" ] && [ -s "$X_LOG" ]; then
        echo "--- album's output ---" >&2
        cat "$X_LOG" >&2
    fi
    if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
        local shot=${TMPDIR:-/tmp}/album-e2e-failure-$$.png
        import -window root "$shot" 2>/dev/null && echo "screen: $shot" >&2
    fi
}

# x_start WORKDIR [WIDTHxHEIGHT]: starts Xvfb (1280x1024 unless told) on a free display with
# openbox as its window manager, and exports DISPLAY. The server picks the display itself
# (-displayfd), so that two sessions started at once never share one. It does not reset when
# its last client leaves (-noreset): a program started during a reset cannot connect.
x_start() {
    local workdir=$1 size=${2:-1280x1024} display i started=
    : >"$workdir/display"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset -dpi 96 \
        3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
    X_SERVER_PID=$!
    for i in $(seq 1 100); do
        kill -0 "$X_SERVER_PID" 2>/dev/null || break
        display=$(head -n 1 "$workdir/display")
        if [ -n "$display" ] && DISPLAY=":$display" xdotool getmouselocation >/dev/null 2>&1; then
            export DISPLAY=":$display"
            started=1
            break
        fi
        sleep 0.1
    done
    if [ -z "$started" ]; then
        kill "$X_SERVER_PID" 2>/dev/null || true
        wait "$X_SERVER_PID" 2>/dev/null || true
        cat "$workdir/xvfb.log" >&2
        X_SERVER_PID=
        x_fail "Xvfb did not start"
    fi
    # The window manager with its default settings, not the user's; it is ready once it has
    # made its own window.
    mkdir -p "$workdir/wm-home"
    HOME="$workdir/wm-home" XDG_CONFIG_HOME="$workdir/wm-home/.config" openbox \
        >"$workdir/openbox.log" 2>&1 &
    X_WM_PID=$!
    for i in $(seq 1 100); do
        [ -z "$(xdotool search --class openbox 2>/dev/null || true)" ] || return 0
        kill -0 "$X_WM_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$workdir/openbox.log" >&2
    x_fail "openbox did not start"
}

# x_album WORKDIR PROGRAM [ARGUMENT...]: starts the program with a home and runtime folder of
# its own, and without the desktop's session bus and sound server.
x_album() {
    local workdir=$1 program=$2
    shift 2
    mkdir -p "$workdir/home" "$workdir/runtime"
    chmod 700 "$workdir/runtime"
    X_LOG=$workdir/album.log
    env -u WAYLAND_DISPLAY HOME="$workdir/home" XDG_CONFIG_HOME="$workdir/home/.config" \
        XDG_RUNTIME_DIR="$workdir/runtime" QT_QPA_PLATFORM=xcb \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$workdir/no-bus" PULSE_SERVER="unix:$workdir/no-sound" \
        "$program" "$@" >"$X_LOG" 2>&1 &
    X_ALBUM_PID=$!
}

# x_stop: ends what x_start and x_album started, if still running.
x_stop() {
    if [ -n "${X_ALBUM_PID:-}" ] && kill -0 "$X_ALBUM_PID" 2>/dev/null; then
        kill "$X_ALBUM_PID" 2>/dev/null || true
        wait "$X_ALBUM_PID" 2>/dev/null || true
    fi
    if [ -n "${X_WM_PID:-}" ]; then
        kill "$X_WM_PID" 2>/dev/null || true
        wait "$X_WM_PID" 2>/dev/null || true
    fi
    if [ -n "${X_SERVER_PID:-}" ]; then
        kill "$X_SERVER_PID" 2>/dev/null || true
        wait "$X_SERVER_PID" 2>/dev/null || true
    fi
}

# x_window REGEX [SECONDS]: prints the first visible window whose title matches, waiting for it.
x_window() {
    local regex=$1 seconds=${2:-15} id i
    for i in $(seq 1 $((seconds * 10))); do
        id=$(xdotool search --onlyvisible --name "$regex" 2>/dev/null | head -n1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        kill -0 "$X_ALBUM_PID" 2>/dev/null || x_fail "album ended while waiting for '$regex'"
        kill -0 "$X_SERVER_PID" 2>/dev/null || x_fail "the X server ended while waiting for '$regex'"
        sleep 0.1
    done
    x_fail "no window titled '$regex' after ${seconds}s"
}

# x_other_window REGEX WINDOW: prints a visible window whose title matches, other than WINDOW,
# waiting for it.
x_other_window() {
    local id
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "$2" | head -n1 || true)
        [ -z "$id" ] || { echo "$id"; return 0; }
        sleep 0.1
    done
    x_fail "no window titled '$1' besides $2"
}

# x_no_window REGEX [SECONDS]: waits until no visible window's title matches.
x_no_window() {
    local regex=$1 seconds=${2:-10}
    for _ in $(seq 1 $((seconds * 10))); do
        if [ -z "$(xdotool search --onlyvisible --name "$regex" 2>/dev/null || true)" ]; then
            return 0
        fi
        sleep 0.1
    done
    x_fail "a window titled '$regex' is still there after ${seconds}s"
}

# x_title WINDOW: the window's title, empty when the window is gone.
x_title() {
    xdotool getwindowname "$1" 2>/dev/null || true
}

# x_size WINDOW: sets X_WIDTH and X_HEIGHT to the window's size in pixels.
x_size() {
    eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(WIDTH|HEIGHT)=')"
    X_WIDTH=$WIDTH
    X_HEIGHT=$HEIGHT
}

# x_maximized WINDOW: checks that the window fills the screen's width, as maximized by the
# window manager, and sets X_WIDTH and X_HEIGHT to its outer size (frame included), which is
# the screen's as there is no panel.
x_maximized() {
    local screen
    x_size "$1"
    screen=$(xdotool getdisplaygeometry)
    [ "$X_WIDTH" -eq "${screen% *}" ] || x_fail "the window is ${X_WIDTH} wide, not maximized"
    X_WIDTH=${screen% *}
    X_HEIGHT=${screen#* }
}

# x_scale SETUPWINDOW: sets X_SCALE, screen pixels per 96-dpi pixel, from the setup window.
x_scale() {
    x_size "$1"
    X_SCALE=$(awk -v w="$X_WIDTH" -v d="$SETUP_WIDTH_PX" 'BEGIN { printf "%.4f", w / d }')
}

# x_px TWIPS: screen pixels for a length in twips (15 twips to a 96-dpi pixel).
x_px() {
    awk -v t="$1" -v s="$X_SCALE" 'BEGIN { printf "%d", t / 15 * s + 0.5 }'
}

# x_twips PIXELS: twips for a length in screen pixels.
x_twips() {
    awk -v p="$1" -v s="$X_SCALE" 'BEGIN { printf "%d", p / s * 15 }'
}

# x_button WINDOW LEFT TOP WIDTH HEIGHT NAME: checks on the screen that a button stands at the
# place given in twips: within its border it is all light grey with its dark caption, where
# the green background or a picture would show colour. A window just resized may not have
# painted its new layout yet: the screen is looked at again for up to 5 s.
x_button() {
    local shot=${TMPDIR:-/tmp}/album-e2e-button-$$.png x y w h measure i
    x=$(($(x_px "$2") + 4)) y=$(($(x_px "$3") + 4))
    w=$(($(x_px "$4") - 8)) h=$(($(x_px "$5") - 8))
    for i in $(seq 1 50); do
        import -window "$1" -crop "${w}x${h}+${x}+${y}" +repage "$shot"
        # The largest chroma and the mean lightness, 0 to 1.
        measure=$(convert "$shot" -colorspace HCL -format '%[fx:maxima.g] %[fx:mean.b]' info:)
        rm -f "$shot"
        awk -v m="$measure" 'BEGIN { split(m, v, " "); exit !(v[1] < 0.1 && v[2] > 0.7) }' &&
            return 0
        sleep 0.1
    done
    x_fail "no $6 at ($2, $3) twips in the viewer (chroma, lightness: $measure)"
}

# x_click WINDOW X Y: a left click at screen pixels X, Y of the window.
x_click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# x_click_twips WINDOW LEFT TOP WIDTH HEIGHT: a click in the middle of a control placed in twips.
x_click_twips() {
    x_click "$1" "$(x_px $(($2 + $4 / 2)))" "$(x_px $(($3 + $5 / 2)))"
}

# x_focus WINDOW: gives the window the keyboard, and waits until the X server says it has it.
# Keys sent before would reach the window that had the keyboard before: a new window gets it
# only when the window manager has made it the active one (the program drops keys sent to a
# window it does not know as active yet), and on a busy machine that comes late. Without a
# window manager to ask, the window is given the focus directly.
x_focus() {
    local i active
    for i in $(seq 1 100); do
        active=$(xdotool getactivewindow 2>/dev/null) || break
        [ "$active" = "$1" ] && break
        xdotool getwindowname "$1" >/dev/null 2>&1 || return 0 # gone meanwhile
        xdotool windowactivate "$1" 2>/dev/null || true
        sleep 0.2
    done
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || true
}

# x_type WINDOW TEXT: types into the window's focused field.
x_type() {
    x_focus "$1"
    xdotool type --window "$1" --delay 5 "$2" 2>/dev/null || true
}

# x_key WINDOW KEY: presses and releases KEY in the window. xdotool sends the keys of the
# focused window through the X server; when the key closes the window, the release fails, and
# the server would repeat a key left down into the next window: it is released again here.
x_key() {
    x_focus "$1"
    xdotool key --window "$1" "$2" 2>/dev/null || true
    xdotool keyup "$2" 2>/dev/null || true
}
