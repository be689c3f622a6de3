#!/usr/bin/env bash
# Fault cases of the real desktop binary on a private Xvfb display, driven by real X input:
# track saves that the file system refuses, and settings files that are folders, unreadable,
# binary, huge or shared by two running copies. Every case checks that the program does
# not crash, says what went wrong (an "ERROR" box) or falls back to its defaults, leaves
# existing files as they were, and still works afterwards.
#
# Root ignores file permissions, so under root the program runs as user nobody; under
# another user the permission cases run only if that user is held to them.
#
# Usage: faults.sh <path to pelindra>
set -u

BIN=${1:?usage: $0 <path to pelindra>}
BIN=$(realpath "$BIN")
[ -x "$BIN" ] || { echo "FAIL: $BIN is not an executable"; exit 1; }
for tool in Xvfb xdotool import python3; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (run scripts/install-deps --test)"; exit 1; }
done
# shellcheck source=SCRIPTDIR/../support/x11.sh
. "$(dirname "$(realpath "$0")")/../support/x11.sh"

RUN_AS=()
APP_UID=$(id -u)
if [ "$APP_UID" = 0 ]; then
    command -v setpriv >/dev/null || { echo "FAIL: setpriv missing (run scripts/install-deps --test)"; exit 1; }
    APP_UID=65534
    RUN_AS=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi

# Symlinks resolved, so the folders the program stores are the ones we typed. Open to
# user nobody, which has to reach the binary's input and output folders below.
TMP=$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/pelindra-faults.XXXXXX")")
chmod 755 "$TMP"
XVFB_PID=""
FAILED=0

cleanup() {
    local pid
    # Programs a case left behind (after a failure or an interrupt).
    if [ -s "$TMP/pids" ]; then
        while read -r pid; do
            kill "$pid" 2>/dev/null
        done <"$TMP/pids"
    fi
    stop_process "$XVFB_PID"
    if [ "$FAILED" = 0 ]; then
        rm -rf "$TMP"
    else
        echo "files kept in $TMP"
    fi
}
trap cleanup EXIT
trap 'FAILED=1; exit 1' INT TERM HUP

now() {
    echo "${EPOCHREALTIME/,/.}"
}

# ---- Inside a case (each case runs in its own subshell) ----

CASE=""
CASE_DIR=""
APPS=()
ERROR_SHOTS=0

case_cleanup() {
    local pid
    for pid in "${APPS[@]}"; do
        stop_process "$pid"
    done
}

fail() {
    echo "FAIL: $CASE: $*"
    if import -window root "$CASE_DIR/failure.png" 2>/dev/null; then
        echo "screenshot: $CASE_DIR/failure.png"
    fi
    local log
    for log in "$CASE_DIR"/app*.log; do
        [ -s "$log" ] && { echo "--- $log:"; head -c 4000 "$log"; }
    done
    exit 1
}

skip() {
    echo "skipped: $CASE: $*"
    exit 3
}

owned_by_app() {
    [ "$(id -u)" = 0 ] && chown -R "$APP_UID:$APP_UID" "$@"
    return 0
}

# A private home with its config, cache and runtime folders, all the program's own.
make_home() {
    local home=$1
    mkdir -p "$home/home" "$home/config/Pelindra" "$home/cache" "$home/runtime"
    chmod 700 "$home/runtime"
    owned_by_app "$home"
}

# A folder the program may write into.
writable_dir() {
    mkdir -p "$1"
    owned_by_app "$1"
}

# Whether the program's user is held to file permissions: it may not append to $1.
permissions_enforced() {
    # shellcheck disable=SC2016 # expanded by the inner shell
    ! "${RUN_AS[@]}" sh -c ': >>"$1"' sh "$1" 2>/dev/null
}

# Starts the program with the home $1, logging to $2; sets APP.
launch() {
    local home=$1 log=$2
    env -u WAYLAND_DISPLAY -u XAUTHORITY -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS \
        -u QT_AUTO_SCREEN_SCALE_FACTOR -u QT_ENABLE_HIGHDPI_SCALING -u QT_FONT_DPI \
        DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 LANG=C.UTF-8 \
        HOME="$home/home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
        XDG_DATA_HOME="$home/home" XDG_RUNTIME_DIR="$home/runtime" \
        "${RUN_AS[@]}" "$BIN" >>"$log" 2>&1 &
    APP=$!
    APPS+=("$APP")
    echo "$APP" >>"$TMP/pids"
}

# Prints the id of the mapped window of program $1 titled exactly $2.
window_of() {
    # --all: without it xdotool takes a window that matches the pid OR the name.
    xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | head -n 1 | grep .
}

no_window_of() {
    ! window_of "$1" "$2"
}

main_window_or_gone() {
    window_of "$1" " Pelindra" || gone "$1"
}

# Gives window $1 the keyboard focus; the case fails if it does not arrive.
take_focus() {
    focus "$1" || fail "window $1 did not take the keyboard focus"
}

# Starts the program and waits (at most $3 seconds) for its main window; sets APP and
# STARTUP (seconds to the window).
start_app() {
    local home=$1 log=$2 limit=${3:-20}
    local t0
    t0=$(now)
    launch "$home" "$log"
    wait_for "$limit" main_window_or_gone "$APP"
    gone "$APP" && fail "the program ended before showing its window"
    window_of "$APP" " Pelindra" >/dev/null || fail "no main window within $limit s"
    STARTUP=$(python3 -c "print(f'{$(now) - $t0:.1f}')")
}

# Starts the program, which must first say in an ERROR box that it cannot use its settings
# file (about $3) and then show its main window; sets APP.
start_app_refusing_settings() {
    local home=$1 log=$2 what=$3
    launch "$home" "$log"
    expect_error_box "$APP" "$what"
    wait_for 20 main_window_or_gone "$APP"
    gone "$APP" && fail "the program ended after the message about $what"
    window_of "$APP" " Pelindra" >/dev/null || fail "no main window after the message about $what"
}

focus_main() {
    take_focus "$(window_of "$1" " Pelindra")"
}

# Opens the File menu of program $1 with Alt+F and picks the entry with access letter $2.
file_menu() {
    focus_main "$1"
    xdotool key alt+f
    # The open menu is a second mapped window of the program (it has no WM_NAME).
    wait_for 10 menu_shown "$1" || fail "the File menu did not open"
    xdotool key "$2"
}

# Program $1 must end within 15 s with status 0 after $2.
expect_exit() {
    wait_for 15 gone "$1" || fail "the program did not end after $2"
    wait "$1"
    local status=$?
    [ "$status" = 0 ] || fail "the program ended with status $status after $2"
}

# The "ERROR" box of program $1 must appear (about $2); it is answered with Enter (OK).
expect_error_box() {
    wait_for 10 window_of "$1" ERROR || fail "no ERROR message after $2"
    local box
    box=$(window_of "$1" ERROR)
    # Its text names the file and the reason; kept for a look when the case fails.
    import -window "$box" "$CASE_DIR/error-$((++ERROR_SHOTS)).png" 2>/dev/null
    take_focus "$box"
    xdotool key Return
    wait_for 10 no_window_of "$1" ERROR || fail "the ERROR message did not close on Enter"
}

no_error_box() {
    no_window_of "$1" ERROR || fail "unexpected ERROR message after $2"
}

# Runs the save command of program $1 and types the path $2 into the chooser.
save_as() {
    local app=$1 path=$2 chooser
    file_menu "$app" s
    wait_for 15 window_of "$app" "Save Track File" || fail "the save chooser did not open"
    chooser=$(window_of "$app" "Save Track File")
    take_focus "$chooser"
    # The file name field has the focus; the typed path replaces the proposed name.
    xdotool type "$path"
    xdotool key Return
    wait_for 10 no_window_of "$app" "Save Track File" || fail "the save chooser stayed open for $path"
}

# Answers Yes to the overwrite question of program $1 (No is its default button).
overwrite_yes() {
    wait_for 10 window_of "$1" Overwrite || fail "no overwrite question for $2"
    take_focus "$(window_of "$1" Overwrite)"
    xdotool key alt+y
    wait_for 10 no_window_of "$1" Overwrite || fail "the overwrite question stayed open"
}

# A track file written by the program: $2 lines, each ended by CR LF.
expect_track() {
    local file=$1 lines=$2
    wait_for 10 test -s "$file" || fail "no track file $file"
    if [ "$(grep -c $'\r$' "$file")" != "$lines" ] || [ "$(wc -l <"$file")" != "$lines" ]; then
        fail "$file does not hold $lines lines ended by CR LF"
    fi
}

# Settings file text in the program's key order, CR LF line ends.
ini_text() {
    local motion=$1 pa=$2 pix=$3 total=$4 interval=$5 mount=$6 ew=$7 dir=$8
    printf '%s\r\n' "[Object]" "Motion=$motion" "Position Angle=$pa" "[Pixel Size]" \
        "PixelSize=$pix" "[Time]" "Total Time=$total" "Time Interval=$interval" "[Mount]" \
        "Mount=$mount" "EastWest=$ew" "RA Direction West=0" "Dec Direction West=0" \
        "Ra Direction East=0" "Dec Direction East=0" "[Directory]" "Current Directory=$dir"
}

expect_same() {
    local what=$1 expected=$2 actual=$3
    [ -e "$actual" ] || fail "$what: $actual is missing"
    cmp -s "$expected" "$actual" && return 0
    echo "--- $what: diff expected actual"
    diff -a "$expected" "$actual" | head -n 20 | cat -A
    fail "$what differs"
}

# Type, mode, owner, size, change time and content checksum of a path, for before/after checks.
fingerprint() {
    local path
    for path in "$@"; do
        stat -c '%n %F %a %u:%g %s %t:%T %Z' "$path"
        [ -f "$path" ] && [ -r "$path" ] && cksum <"$path"
    done
}

listing() {
    (cd "$1" && ls -A)
}

# ---- Cases ----

case_defaults_reference() {
    make_home "$CASE_DIR/h"
    writable_dir "$CASE_DIR/out"
    start_app "$CASE_DIR/h" "$CASE_DIR/app.log"
    save_as "$APP" "$CASE_DIR/out/default.trk"
    expect_track "$CASE_DIR/out/default.trk" 240
    no_error_box "$APP" "a save into a writable folder"
    file_menu "$APP" x
    expect_exit "$APP" "File > Exit"
    ini_text 1 0 1 60 15 False True "$CASE_DIR/out" >"$CASE_DIR/expected.ini"
    expect_same "settings file" "$CASE_DIR/expected.ini" "$CASE_DIR/h/config/Pelindra/Pelindra.ini"
    cp "$CASE_DIR/out/default.trk" "$TMP/default.trk"
}

# After a refused save: a save into a writable folder works and the settings remember it.
save_then_recover() {
    local good="$CASE_DIR/good"
    writable_dir "$good"
    save_as "$APP" "$good/after.trk"
    expect_track "$good/after.trk" 240
    no_error_box "$APP" "a save into a writable folder"
    file_menu "$APP" x
    expect_exit "$APP" "File > Exit"
    grep -qxF $'Current Directory='"$good"$'\r' "$CASE_DIR/h/config/Pelindra/Pelindra.ini" ||
        fail "the settings file does not record the folder of the last save"
}

case_save_readonly_folder() {
    local ro="$CASE_DIR/readonly"
    mkdir -p "$ro"
    chmod 555 "$ro"
    permissions_enforced "$ro/probe" || skip "file permissions are not enforced for the program's user"
    make_home "$CASE_DIR/h"
    start_app "$CASE_DIR/h" "$CASE_DIR/app.log"
    save_as "$APP" "$ro/night.trk"
    expect_error_box "$APP" "a save into a read-only folder"
    [ -z "$(listing "$ro")" ] || fail "files appeared in the read-only folder: $(listing "$ro")"
    save_then_recover
}

case_save_missing_folder() {
    make_home "$CASE_DIR/h"
    start_app "$CASE_DIR/h" "$CASE_DIR/app.log"
    save_as "$APP" "$CASE_DIR/missing/night.trk"
    expect_error_box "$APP" "a save into a missing folder"
    [ ! -e "$CASE_DIR/missing" ] || fail "the missing folder was created"
    save_then_recover
}

# The chooser adds the default extension to a name without one, so /dev/full is reached
# through a link that has it.
case_save_dev_full() {
    [ -c /dev/full ] || skip "/dev/full is not a character device here"
    local dir="$CASE_DIR/dir" before
    writable_dir "$dir"
    ln -s /dev/full "$dir/full.trk"
    before=$(fingerprint /dev/full)
    make_home "$CASE_DIR/h"
    start_app "$CASE_DIR/h" "$CASE_DIR/app.log"
    save_as "$APP" "$dir/full.trk"
    overwrite_yes "$APP" "$dir/full.trk"
    expect_error_box "$APP" "a save onto /dev/full"
    [ "$(fingerprint /dev/full)" = "$before" ] || fail "/dev/full changed: $(fingerprint /dev/full)"
    [ "$(readlink "$dir/full.trk")" = /dev/full ] || fail "the link to /dev/full was replaced"
    [ "$(listing "$dir")" = "full.trk" ] || fail "files left beside the link: $(listing "$dir")"
    save_then_recover
}

case_save_over_readonly_file() {
    local dir="$CASE_DIR/dir" before
    writable_dir "$dir"
    printf '%s\r\n' "15 -1.0 -1.4" "keep me" >"$dir/old.trk"
    chmod 444 "$dir/old.trk"
    permissions_enforced "$dir/old.trk" || skip "file permissions are not enforced for the program's user"
    cp -p "$dir/old.trk" "$CASE_DIR/old.copy"
    before=$(fingerprint "$dir/old.trk")
    make_home "$CASE_DIR/h"
    start_app "$CASE_DIR/h" "$CASE_DIR/app.log"
    save_as "$APP" "$dir/old.trk"
    overwrite_yes "$APP" "$dir/old.trk"
    expect_error_box "$APP" "a save over a read-only file"
    expect_same "read-only track file" "$CASE_DIR/old.copy" "$dir/old.trk"
    [ "$(fingerprint "$dir/old.trk")" = "$before" ] || fail "the read-only file's metadata changed"
    [ "$(listing "$dir")" = "old.trk" ] || fail "files left beside the read-only file: $(listing "$dir")"
    save_then_recover
}

# Saves a track file and compares it with the one of a run from the default settings.
expect_default_track() {
    writable_dir "$CASE_DIR/out"
    save_as "$APP" "$CASE_DIR/out/track.trk"
    no_error_box "$APP" "a save into a writable folder"
    expect_track "$CASE_DIR/out/track.trk" 240
    expect_same "track file from the default settings" "$TMP/default.trk" "$CASE_DIR/out/track.trk"
}

# Whatever stands in the settings file's place is reported once at the start and left
# alone at closing; the program works with its defaults.
case_settings_is_folder() {
    local cfg="$CASE_DIR/h/config/Pelindra" before
    make_home "$CASE_DIR/h"
    mkdir "$cfg/Pelindra.ini"
    printf 'Motion=99\r\n' >"$cfg/Pelindra.ini/inside"
    owned_by_app "$cfg"
    before=$(fingerprint "$cfg/Pelindra.ini" "$cfg/Pelindra.ini/inside")
    start_app_refusing_settings "$CASE_DIR/h" "$CASE_DIR/app.log" "a folder as settings file"
    expect_default_track
    file_menu "$APP" x
    expect_exit "$APP" "File > Exit"
    [ "$(fingerprint "$cfg/Pelindra.ini" "$cfg/Pelindra.ini/inside")" = "$before" ] ||
        fail "the folder in place of the settings file changed"
    [ "$(listing "$cfg")" = "Pelindra.ini" ] || fail "files left in $cfg: $(listing "$cfg")"
    [ "$(listing "$cfg/Pelindra.ini")" = "inside" ] || fail "the folder's content changed"
}

# A pipe that nobody writes to once kept the program from ever showing its window.
case_settings_is_pipe() {
    local cfg="$CASE_DIR/h/config/Pelindra"
    make_home "$CASE_DIR/h"
    mkfifo "$cfg/Pelindra.ini"
    owned_by_app "$cfg"
    start_app_refusing_settings "$CASE_DIR/h" "$CASE_DIR/app.log" "a pipe as settings file"
    file_menu "$APP" x
    expect_exit "$APP" "File > Exit"
    [ -p "$cfg/Pelindra.ini" ] || fail "the pipe in place of the settings file was replaced"
    [ "$(listing "$cfg")" = "Pelindra.ini" ] || fail "files left in $cfg: $(listing "$cfg")"
}

# Write-only (mode 200): the program may not read it, so it must not replace it either.
case_settings_unreadable() {
    local cfg="$CASE_DIR/h/config/Pelindra" before
    make_home "$CASE_DIR/h"
    ini_text 12 35 1.8 1.5 20 True False /nowhere >"$cfg/Pelindra.ini"
    cp "$cfg/Pelindra.ini" "$CASE_DIR/ini.copy"
    chmod 200 "$cfg/Pelindra.ini"
    "${RUN_AS[@]}" cat "$cfg/Pelindra.ini" >/dev/null 2>&1 &&
        skip "file permissions are not enforced for the program's user"
    before=$(fingerprint "$cfg/Pelindra.ini")
    start_app_refusing_settings "$CASE_DIR/h" "$CASE_DIR/app.log" "an unreadable settings file"
    expect_default_track
    file_menu "$APP" x
    expect_exit "$APP" "File > Exit"
    [ "$(fingerprint "$cfg/Pelindra.ini")" = "$before" ] || fail "the settings file's metadata changed"
    # Only root reads it back as it is.
    [ "$(id -u)" = 0 ] || chmod 600 "$cfg/Pelindra.ini"
    expect_same "unreadable settings file" "$CASE_DIR/ini.copy" "$cfg/Pelindra.ini"
    [ "$(listing "$cfg")" = "Pelindra.ini" ] || fail "files left in $cfg: $(listing "$cfg")"
}

case_settings_binary() {
    local ini="$CASE_DIR/h/config/Pelindra/Pelindra.ini" size
    make_home "$CASE_DIR/h"
    python3 -c 'import random, sys
random.seed(7)
sys.stdout.buffer.write(bytes(random.getrandbits(8) for _ in range(2048)))' >"$CASE_DIR/garbage"
    cp "$CASE_DIR/garbage" "$ini"
    owned_by_app "$ini"
    start_app "$CASE_DIR/h" "$CASE_DIR/app.log"
    expect_default_track
    file_menu "$APP" x
    expect_exit "$APP" "File > Exit"
    size=$(stat -c %s "$CASE_DIR/garbage")
    cmp -s -n "$size" "$CASE_DIR/garbage" "$ini" || fail "the original bytes are no longer the file's start"
    # Its own twelve entries follow, after a line end that closes the last garbage line.
    ini_text 1 0 1 60 15 False True "$CASE_DIR/out" >"$CASE_DIR/entries"
    {
        cat "$CASE_DIR/garbage"
        case $(tail -c 1 "$CASE_DIR/garbage" | od -An -tx1 | tr -d ' \n') in
            0a | 0d) ;;
            *) printf '\r\n' ;;
        esac
        cat "$CASE_DIR/entries"
    } >"$CASE_DIR/expected.ini"
    expect_same "settings file after binary garbage" "$CASE_DIR/expected.ini" "$ini"
    local line
    for line in "Motion=1" "EastWest=True" "Current Directory=$CASE_DIR/out"; do
        grep -qaxF "$line"$'\r' "$ini" || fail "the entry $line is not in the file"
    done
}

# Writes the settings file $2: filler ($1 "comment": one 10 MB section of comment lines,
# "sections": 10,000 small sections), then the real entries; $3 gets the file expected
# after Position Angle was changed to 200.
make_big_settings() {
    python3 - "$@" <<'EOF'
import sys
mode, out, expected = sys.argv[1], sys.argv[2], sys.argv[3]
if mode == "comment":
    line = "; " + "n" * 96 + "\r\n"
    filler = "[Notes]\r\n" + line * (10 * 1024 * 1024 // len(line))
else:
    filler = "".join(f"[Section {i:05}]\r\nKey{i}=Value {i}\r\n" for i in range(10000))
entries = ("[Object]\r\nMotion=12.0\r\nPosition Angle={pa}\r\n[Pixel Size]\r\nPixelSize=1.8\r\n"
           "[Time]\r\nTotal Time=1.5\r\nTime Interval=20\r\n[Mount]\r\nMount=False\r\n"
           "EastWest=False\r\nRA Direction West=1\r\nDec Direction West=0\r\n"
           "Ra Direction East=0\r\nDec Direction East=1\r\n[Directory]\r\nCurrent Directory=/nowhere\r\n")
with open(out, "wb") as f:
    f.write((filler + entries.format(pa="035.0")).encode())
with open(expected, "wb") as f:
    f.write((filler + entries.format(pa="200")).encode())
EOF
}

big_settings_case() {
    local mode=$1
    local ini="$CASE_DIR/h/config/Pelindra/Pelindra.ini"
    make_home "$CASE_DIR/h"
    make_big_settings "$mode" "$ini" "$CASE_DIR/expected.ini"
    owned_by_app "$ini"
    start_app "$CASE_DIR/h" "$CASE_DIR/app.log" 10
    # Position Angle follows Motion in the tab order; Motion keeps its stored text.
    focus_main "$APP"
    xdotool key Tab ctrl+a && xdotool type 200
    file_menu "$APP" x
    expect_exit "$APP" "File > Exit"
    # Motion=12.0 and Position Angle are written from the text boxes, the rest from the
    # values read: only the typed line may change.
    expect_same "$mode settings file" "$CASE_DIR/expected.ini" "$ini"
    [ "$(listing "$CASE_DIR/h/config/Pelindra")" = "Pelindra.ini" ] ||
        fail "files left beside the settings file"
    CASE_NOTE="$(stat -c %s "$ini") bytes, window after ${STARTUP} s"
}

case_settings_10mb() {
    big_settings_case comment
}

case_settings_10000_sections() {
    big_settings_case sections
}

case_two_programs() {
    local ini="$CASE_DIR/h/config/Pelindra/Pelindra.ini" first second
    make_home "$CASE_DIR/h"
    ini_text 3 35 1.8 1.5 20 False False "$CASE_DIR" >"$ini"
    owned_by_app "$ini"
    start_app "$CASE_DIR/h" "$CASE_DIR/app1.log"
    first=$APP
    start_app "$CASE_DIR/h" "$CASE_DIR/app2.log"
    second=$APP
    focus_main "$first"
    xdotool key ctrl+a && xdotool type 5
    focus_main "$second"
    xdotool key ctrl+a && xdotool type 7
    file_menu "$first" x
    expect_exit "$first" "File > Exit of the first copy"
    ini_text 5 35 1.8 1.5 20 False False "$CASE_DIR" >"$CASE_DIR/expected-1.ini"
    expect_same "settings file after the first copy" "$CASE_DIR/expected-1.ini" "$ini"
    file_menu "$second" x
    expect_exit "$second" "File > Exit of the second copy"
    ini_text 7 35 1.8 1.5 20 False False "$CASE_DIR" >"$CASE_DIR/expected-2.ini"
    expect_same "settings file after the second copy" "$CASE_DIR/expected-2.ini" "$ini"
    [ "$(grep -ca '^Motion=' "$ini")" = 1 ] || fail "Motion is stored more than once"
}

# Runs case $1 (function case_$1) in a subshell and prints its one line.
CASES_OK=0
CASES_FAILED=0
CASES_SKIPPED=0
run_case() {
    local name=$1 t0 rc
    t0=$(now)
    mkdir -p "$TMP/$name"
    (
        CASE=$name
        CASE_DIR="$TMP/$name"
        CASE_NOTE=""
        trap case_cleanup EXIT
        "case_$name"
        echo "ok: $name ($(python3 -c "print(f'{$(now) - $t0:.1f}')") s${CASE_NOTE:+; $CASE_NOTE})"
    )
    rc=$?
    # The case has ended its own programs.
    : >"$TMP/pids"
    case $rc in
        0) CASES_OK=$((CASES_OK + 1)) ;;
        3) CASES_SKIPPED=$((CASES_SKIPPED + 1)) ;;
        *) CASES_FAILED=$((CASES_FAILED + 1)); FAILED=1 ;;
    esac
}

start_xvfb "$TMP" || { FAILED=1; echo "FAIL: no free X display between :90 and :120"; exit 1; }
[ "${#RUN_AS[@]}" -gt 0 ] && echo "running the program as uid $APP_UID"

run_case defaults_reference
[ -f "$TMP/default.trk" ] || { FAILED=1; echo "FAIL: no reference run from the default settings"; exit 1; }
run_case save_readonly_folder
run_case save_missing_folder
run_case save_dev_full
run_case save_over_readonly_file
run_case settings_is_folder
run_case settings_is_pipe
run_case settings_unreadable
run_case settings_binary
run_case settings_10mb
run_case settings_10000_sections
run_case two_programs

echo "$CASES_OK ok, $CASES_FAILED failed, $CASES_SKIPPED skipped"
[ "$CASES_FAILED" = 0 ]
