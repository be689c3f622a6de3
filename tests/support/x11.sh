# shellcheck shell=bash
# Helpers for driving the real program on a private Xvfb display with xdotool, shared by
# the end-to-end test, the fault cases and the screenshot script. Sourced, not run: it
# defines functions only and leaves set options, traps and failure reports to the caller.

# Polls a command every 50 ms until it succeeds; gives up (status 1) after $1 seconds.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.05
    done
}

# Ends process $1 if it still runs and reaps it, so no server or program outlives the script.
stop_process() {
    if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then
        kill "$1" 2>/dev/null
        wait "$1" 2>/dev/null
    fi
}

# Whether process $1 has ended, for waiting on a program to close.
gone() {
    ! kill -0 "$1" 2>/dev/null
}

# Whether the Xvfb started into folder $1 has written its display number, or died trying.
xvfb_ready_or_gone() {
    [ -s "$1/xvfb.display" ] || gone "$XVFB_PID"
}

# A display of our own (:90-:120, files in $1); sets XVFB_PID, DISPLAY; status 1 if none free.
start_xvfb() {
    local dir=$1 n
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        # -displayfd: our own server writes its number once it is ready, so a server
        # started meanwhile by someone else on the same number is never mistaken for it.
        # -noreset: a reset after the last client left would refuse the next client.
        # No -auth: the socket then takes local clients of any user, nobody included.
        : >"$dir/xvfb.display"
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset -displayfd 3 \
            3>"$dir/xvfb.display" >"$dir/xvfb.log" 2>&1 &
        XVFB_PID=$!
        wait_for 10 xvfb_ready_or_gone "$dir"
        if [ -s "$dir/xvfb.display" ] && kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
        # Taken meanwhile: try the next number.
        stop_process "$XVFB_PID"
        XVFB_PID=""
    done
    return 1
}

# Prints the id of the mapped window titled exactly $1 (status 1 when there is none).
visible_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 | grep .
}

# Whether no mapped window is titled $1, for waiting on a dialog to close.
not_visible() {
    ! visible_window "$1"
}

# Whether program $1 shows an open menu: a second mapped window of its own (no WM_NAME).
menu_shown() {
    [ "$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | wc -l)" -ge 2 ]
}

# Whether window $1 has the keyboard focus, so typed keys reach it.
focused_on() {
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}

# Without a window manager nothing hands out the keyboard focus: take it for window $1.
focus() {
    focused_on "$1" || xdotool windowfocus "$1" 2>/dev/null
    wait_for 10 focused_on "$1"
}
