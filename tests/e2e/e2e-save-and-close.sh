#!/usr/bin/env bash
# End-to-end run of the real desktop binary on a private Xvfb display, driven by real X
# input events: type motion, position angle and interval, save a track file through the
# save chooser by typing its path, close with the "Close" button, then compare the track
# file and the settings file byte for byte. A second start checks that the settings load
# back and that File > Exit writes them too. A third opens a Horizons table through
# File > Open Ephemeris... and the real chooser, types the time into the ephemeris window,
# presses Use, saves a track and exits: the track and the settings file, with the
# ephemeris remembered, are compared byte for byte. A fourth does the same with the other
# formats: a Horizons CSV table, an API reply and a copied MPC table. A fifth ticks Follow
# in the ephemeris window of a fast flyby and saves: the track must be byte for byte what
# pelindra-track --follow writes from the same settings, ephemeris and start. A sixth
# sends the rate to a stand-in PHD2 through Guide > Send Rate to PHD2: the JSON line it
# receives must hold the offsets per hour.
#
# Usage: e2e-save-and-close.sh <path to pelindra> <path to pelindra-track>
set -u

BIN=${1:?usage: $0 <path to pelindra> <path to pelindra-track>}
BIN=$(realpath "$BIN")
TRACK_TOOL=$(realpath "${2:?usage: $0 <path to pelindra> <path to pelindra-track>}")
[ -x "$BIN" ] || { echo "FAIL: $BIN is not an executable"; exit 1; }
for tool in Xvfb xdotool xclip import; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (run scripts/install-deps --test)"; exit 1; }
done
# shellcheck source=SCRIPTDIR/../support/x11.sh
. "$(dirname "$(realpath "$0")")/../support/x11.sh"

# Symlinks resolved, so the folder the program stores is the one we typed.
TMP=$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/pelindra-e2e.XXXXXX")")
INI="$TMP/config/Pelindra/Pelindra.ini"
TRK="$TMP/night.trk"
XVFB_PID=""
APP_PID=""
PHD2_PID=""
FAILED=0

cleanup() {
    stop_process "$APP_PID"
    stop_process "$PHD2_PID"
    stop_process "$XVFB_PID"
    # Kept after a failure for the screenshot and the logs.
    [ "$FAILED" = 0 ] && rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    FAILED=1
    echo "FAIL: $*"
    if [ -n "$XVFB_PID" ] && import -window root "$TMP/failure.png" 2>/dev/null; then
        echo "screenshot: $TMP/failure.png"
    fi
    [ -s "$TMP/app.log" ] && { echo "--- program output:"; cat "$TMP/app.log"; }
    echo "files kept in $TMP"
    exit 1
}

main_window_or_gone() {
    visible_window " Pelindra" || gone "$APP_PID"
}

start_app() {
    env -u WAYLAND_DISPLAY -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS \
        -u QT_AUTO_SCREEN_SCALE_FACTOR -u QT_ENABLE_HIGHDPI_SCALING -u QT_FONT_DPI \
        DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 LANG=C.UTF-8 \
        XDG_CONFIG_HOME="$TMP/config" XDG_CACHE_HOME="$TMP/cache" \
        XDG_DATA_HOME="$TMP/data" XDG_RUNTIME_DIR="$TMP/runtime" \
        "$BIN" >>"$TMP/app.log" 2>&1 &
    APP_PID=$!
    wait_for 20 main_window_or_gone
    gone "$APP_PID" && fail "the program ended before showing its window"
    visible_window " Pelindra" >/dev/null || fail "the main window did not appear"
    MAIN=$(visible_window " Pelindra")
    START_HEIGHT=$(window_height "$MAIN")
    focus "$MAIN" || fail "the main window did not take the keyboard focus"
}

# Opens the File menu with Alt+F and picks the entry with access letter $1.
file_menu() {
    xdotool key alt+f
    # The open menu is a second mapped window of the program (it has no WM_NAME).
    wait_for 10 menu_shown "$APP_PID" || fail "the File menu did not open"
    xdotool key "$1"
}

wait_for_exit() {
    wait_for 15 gone "$APP_PID" || fail "the program did not end after $1"
    wait "$APP_PID"
    local status=$?
    APP_PID=""
    [ "$status" = 0 ] || fail "the program ended with status $status after $1"
}

# Settings file in the program's key order, CR LF line ends; $1 Motion, $2 Position Angle,
# $3 Time Interval, $4 Current Directory.
settings_text() {
    printf '%s\r\n' "[Object]" "Motion=$1" "Position Angle=$2" "[Pixel Size]" "PixelSize=1.8" \
        "[Time]" "Total Time=1.5" "Time Interval=$3" "[Mount]" "Mount=False" "EastWest=False" \
        "RA Direction West=0" "Dec Direction West=0" "Ra Direction East=0" \
        "Dec Direction East=0" "[Directory]" "Current Directory=$4"
}

expect_file() {
    local what=$1 expected=$2 actual=$3
    [ -f "$actual" ] || fail "$what: $actual is missing"
    if ! cmp -s "$expected" "$actual"; then
        echo "--- $what expected:"
        cat -A "$expected"
        echo "--- $what actual:"
        cat -A "$actual"
        fail "$what differs"
    fi
}

window_height() {
    xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p'
}

taller_than() {
    [ "$(window_height "$1")" -gt "$2" ]
}

# Opens the ephemeris $1 through File > Open Ephemeris... and the real chooser, types
# 2024-03-10 02:30:00 into the ephemeris window's time editor and presses Use.
use_ephemeris() {
    local chooser drawn_height
    file_menu e
    wait_for 15 visible_window "Open Ephemeris" || fail "the ephemeris chooser did not open for $1"
    chooser=$(visible_window "Open Ephemeris")
    focus "$chooser" || fail "the ephemeris chooser did not take the keyboard focus"
    xdotool type "$1"
    xdotool key Return
    wait_for 15 visible_window "Ephemeris" || fail "the ephemeris window did not open for $1"
    focus "$(visible_window "Ephemeris")" || fail "the ephemeris window did not take the focus"
    # The time editor has the focus with its year selected; each full section moves on.
    xdotool type 20240310023000
    drawn_height=$(window_height "$MAIN")
    xdotool key alt+u
    # Use adds the source line under the main window, which grows by it; only then may the
    # focus move on, or the key could reach the main window instead.
    wait_for 10 taller_than "$MAIN" "$drawn_height" || fail "Use did not take the rate from $1"
    focus "$MAIN" || fail "the main window did not take the keyboard focus back"
}

# In the ephemeris window in front: types the time $1, ticks Follow with Alt+F, saves the
# track as $2 through File > Save and the real chooser, and ends with File > Exit; $3 names
# the run in messages.
follow_and_save() {
    xdotool type "$1"
    xdotool key alt+f
    focus "$MAIN" || fail "the main window did not take the keyboard focus back"
    file_menu s
    wait_for 15 visible_window "Save Track File" || fail "the save chooser did not open"
    focus "$(visible_window "Save Track File")" || fail "the save chooser did not take the focus"
    xdotool type "$2"
    xdotool key Return
    wait_for 15 test -f "$2" || fail "no following track file was written to $2"
    wait_for 10 not_visible "Save Track File" || fail "the save chooser stayed open"
    focus "$MAIN" || fail "the main window did not take the keyboard focus back"
    file_menu x
    wait_for_exit "File > Exit after $3"
}

mkdir -p "$TMP/config/Pelindra" "$TMP/start" "$TMP/cache" "$TMP/data" "$TMP/runtime"
chmod 700 "$TMP/runtime"
# East side, German mount, pixel size 1.8, 1.5 minutes; the chooser opens in start/.
settings_text 3.5 200 60 "$TMP/start" >"$INI"
start_xvfb "$TMP" || fail "no free X display between :90 and :120"

# Run 1: type the three values, save through the chooser, close with the Close button.
start_app
xdotool key ctrl+a && xdotool type 12           # Motion has the focus at start
xdotool key Tab ctrl+a && xdotool type 35       # Position Angle
xdotool key Tab ctrl+a && xdotool type 15       # Time Interval
file_menu s
wait_for 15 visible_window "Save Track File" || fail "the save chooser did not open"
CHOOSER=$(visible_window "Save Track File")
focus "$CHOOSER" || fail "the save chooser did not take the keyboard focus"
# The file name field has the focus; the typed path replaces the proposed name.
xdotool type "$TRK"
xdotool key Return
wait_for 15 test -f "$TRK" || fail "no track file was written to $TRK"
# The chooser may still cover the main window's buttons for a moment.
wait_for 10 not_visible "Save Track File" || fail "the save chooser stayed open"

# The Close button's centre lies 205 px from the left and 34 px above the bottom of the
# 249 x 279 px client area as the window started (scaled if Qt scales the window); the
# status line the save added lies below it.
WIDTH=$(xdotool getwindowgeometry --shell "$MAIN" | sed -n 's/^WIDTH=//p')
xdotool mousemove --window "$MAIN" $((205 * WIDTH / 249)) $((START_HEIGHT - 34 * WIDTH / 249)) \
    click 1
wait_for_exit "a click on Close"

printf '%s\r\n' "15 -1.0 -1.4" "15 -1.0 -1.4" "15 -0.9 -1.3" "15 -1.0 -1.4" "15 -0.9 -1.4" \
    "15 -1.0 -1.3" >"$TMP/expected.trk"
expect_file "track file" "$TMP/expected.trk" "$TRK"
settings_text 12 35 15 "$TMP" >"$TMP/expected-1.ini"
expect_file "settings file after Close" "$TMP/expected-1.ini" "$INI"

# Run 2: the stored values come back; a new motion is kept by File > Exit.
start_app
xdotool key ctrl+a && xdotool type 7
file_menu x
wait_for_exit "File > Exit"
settings_text 7 35 15 "$TMP" >"$TMP/expected-2.ini"
expect_file "settings file after Exit" "$TMP/expected-2.ini" "$INI"

# Run 3: a Horizons table (quantity 3, "/hr): at 02:30, halfway, the rates are 43.2 east
# and 86.4 north, 1.609969 "/min toward 26.56505 degrees; with 1.8"/px and 15 s that is
# 0.1 px along X and 0.2 along Y per interval. Today lies after the table, so the window
# starts at its last row (03:00) until the time is typed.
EPHEMERIS="$TMP/ephemerides/pons-brooks.txt"
STARS=$(printf '%*s' 79 '' | tr ' ' '*')
mkdir -p "$TMP/ephemerides"
printf '%s\n' "$STARS" "Ephemeris / API_USER Sun Mar 10 01:00:00 2024 Pasadena, USA      / Horizons" \
    "$STARS" "Target body name: 12P/Pons-Brooks              {source: JPL#K241/2}" \
    "Center body name: Earth (399)                     {source: DE441}" \
    "Center-site name: Sierra Stars Observatory, Markleeville" "$STARS" \
    "Start time      : A.D. 2024-Mar-10 02:00:00.0000 UT" \
    "Stop  time      : A.D. 2024-Mar-10 03:00:00.0000 UT" \
    "Step-size       : 60 minutes" "$STARS" "RA format       : HMS" "Time format     : CAL" \
    "$STARS" " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt" "$STARS" \
    '$$SOE' " 2024-Mar-10 02:00 *   01 46 12.34 +30 12 45.6   21.6000   43.2000" \
    " 2024-Mar-10 03:00 *   01 46 14.76 +30 13 33.6   64.8000  129.6000" '$$EOE' "$STARS" \
    "Column meaning:" >"$EPHEMERIS"
TRK3="$TMP/comet.trk"
start_app
use_ephemeris "$EPHEMERIS"
file_menu s
wait_for 15 visible_window "Save Track File" || fail "the save chooser did not open"
CHOOSER=$(visible_window "Save Track File")
focus "$CHOOSER" || fail "the save chooser did not take the keyboard focus"
xdotool type "$TRK3"
xdotool key Return
wait_for 15 test -f "$TRK3" || fail "no track file was written to $TRK3"
wait_for 10 not_visible "Save Track File" || fail "the save chooser stayed open"
focus "$MAIN" || fail "the main window did not take the keyboard focus back"
file_menu x
wait_for_exit "File > Exit with the ephemeris window open"

printf '15 -0.1 -0.2\r\n%.0s' 1 2 3 4 5 6 >"$TMP/expected-3.trk"
expect_file "track file from the ephemeris" "$TMP/expected-3.trk" "$TRK3"
{
    settings_text 1.609969 26.56505 15 "$TMP"
    printf '%s\r\n' "[Ephemeris]" "File=$EPHEMERIS" "Time=2024-03-10T02:30:00Z"
} >"$TMP/expected-3.ini"
expect_file "settings file with the ephemeris" "$TMP/expected-3.ini" "$INI"

# Run 4: the same night as a Horizons CSV table, an API reply (JSON) and a copied MPC table
# ("/hr, the motion to two decimals and the P.A. to one): each is opened, set to 02:30 and
# used; the settings file shows what reached Motion and Position Angle.
mkdir -p "$TMP/formats"
printf '%s\n' "Target body name: 12P/Pons-Brooks              {source: JPL#K241/2}" \
    "Center-site name: Sierra Stars Observatory, Markleeville" "$STARS" \
    " Date__(UT)__HR:MN, Date_________JDUT, , , R.A._(ICRF), DEC_(ICRF),  dRA*cosD, d(DEC)/dt," \
    "$STARS" '$$SOE' \
    " 2024-Mar-10 02:00, 2460379.583333333, *, ,    26.55142,  30.21267,   21.6000,   43.2000," \
    " 2024-Mar-10 03:00, 2460379.625000000, *, ,    26.56150,  30.22600,   64.8000,  129.6000," \
    '$$EOE' >"$TMP/formats/pons-brooks.csv"
python3 -c 'import json, sys
print(json.dumps({"signature": {"source": "NASA/JPL Horizons API", "version": "1.2"},
                  "result": open(sys.argv[1]).read()}))' "$EPHEMERIS" >"$TMP/formats/pons-brooks.json"
printf '%s\n' "12P" \
    "Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   m1     Sky Motion" \
    '            h m s                                                            "/hr     P.A.' \
    "2024 03 10 020000 01 46 12.3 +30 12 46   1.543   1.114   45.3  40.1  10.2   48.30     26.6" \
    "2024 03 10 030000 01 46 14.8 +30 13 34   1.543   1.114   45.3  40.1  10.2  144.90     26.6" \
    >"$TMP/formats/pons-brooks-mpc.txt"
for entry in "pons-brooks.csv 1.609969 26.56505" "pons-brooks.json 1.609969 26.56505" \
    "pons-brooks-mpc.txt 1.61 26.6"; do
    read -r name motion angle <<<"$entry"
    start_app
    use_ephemeris "$TMP/formats/$name"
    file_menu x
    wait_for_exit "File > Exit after using $name"
    {
        settings_text "$motion" "$angle" 15 "$TMP"
        printf '%s\r\n' "[Ephemeris]" "File=$TMP/formats/$name" "Time=2024-03-10T02:30:00Z"
    } >"$TMP/expected-4.ini"
    expect_file "settings file after using $name" "$TMP/expected-4.ini" "$INI"
done

# Run 5: a flyby whose eastward rate turns from -3600 to +3600 "/hr and northward from
# +1800 to -1800 over three minutes; the track follows it from 02:30 with Follow ticked.
FLYBY="$TMP/ephemerides/flyby.txt"
printf '%s\n' "$STARS" "Target body name: 2024 FB                       {source: JPL#3}" \
    "Center-site name: GEOCENTRIC" "$STARS" \
    " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt" "$STARS" '$$SOE' \
    " 2024-Mar-10 02:29     01 46 12.34 +30 12 45.6  -3600.000  1800.000" \
    " 2024-Mar-10 02:32     01 46 12.34 +30 12 45.6   3600.000 -1800.000" '$$EOE' "$STARS" \
    "Column meaning:" >"$FLYBY"
TRK5="$TMP/flyby.trk"
start_app
file_menu e
wait_for 15 visible_window "Open Ephemeris" || fail "the ephemeris chooser did not open for $FLYBY"
focus "$(visible_window "Open Ephemeris")" || fail "the ephemeris chooser did not take the focus"
xdotool type "$FLYBY"
xdotool key Return
wait_for 15 visible_window "Ephemeris" || fail "the ephemeris window did not open for $FLYBY"
focus "$(visible_window "Ephemeris")" || fail "the ephemeris window did not take the focus"
follow_and_save 20240310023000 "$TRK5" "a following track"

{
    settings_text 1.61 26.6 15 "$TMP"
    printf '%s\r\n' "[Ephemeris]" "File=$FLYBY" "Time=2024-03-10T02:30:00Z" "Follow=True"
} >"$TMP/expected-5.ini"
expect_file "settings file after a following track" "$TMP/expected-5.ini" "$INI"
"$TRACK_TOOL" --settings "$INI" --ephemeris "$FLYBY" \
    --at 2024-03-10T02:30:00Z --follow -o "$TMP/expected-5.trk" ||
    fail "pelindra-track --follow failed"
expect_file "following track file" "$TMP/expected-5.trk" "$TRK5"
# The steps turn with the rate: both signs on each axis.
for column in 2 3; do
    for sign in + -; do
        cut -d' ' -f"$column" "$TRK5" | grep -q "^[$sign]" ||
            fail "the following track has no step of sign $sign in column $column"
    done
done

# Run 6: the stand-in PHD2 on a free port, named in the settings file; Alt+G, P sends the
# rate. 12 "/min at 35 degrees, 15 s and 1.8 "/px is -0.956 and -1.365 px per interval:
# -229.43 and -327.66 px/hr.
python3 "$(dirname "$(realpath "$0")")/../support/fake_phd2.py" --log "$TMP/phd2.log" \
    >"$TMP/phd2.port" 2>>"$TMP/app.log" &
PHD2_PID=$!
wait_for 10 test -s "$TMP/phd2.port" || fail "the stand-in PHD2 did not start"
{
    settings_text 12 35 15 "$TMP"
    printf '%s\r\n' "[PHD2]" "Host=127.0.0.1" "Port=$(head -n 1 "$TMP/phd2.port")"
} >"$INI"
start_app
xdotool key alt+g
wait_for 10 menu_shown "$APP_PID" || fail "the Guide menu did not open"
xdotool key p
phd2_answered() { [ "$(wc -l <"$TMP/phd2.log" 2>/dev/null || echo 0)" -ge 3 ]; }
wait_for 15 phd2_answered || fail "PHD2 did not receive the three calls"
python3 - "$TMP/phd2.log" <<'CHECK' || fail "PHD2 received $(head -n 1 "$TMP/phd2.log")"
import json, sys
lines = [json.loads(line) for line in open(sys.argv[1])]
first = lines[0]
assert first["method"] == "set_lock_shift_params", first
params = first["params"][0]
assert params["units"] == "pixels/hr" and params["axes"] == "X/Y", params
assert [round(r, 2) for r in params["rate"]] == [-229.43, -327.66], params
assert [l["method"] for l in lines[1:]] == ["set_lock_shift_enabled", "get_lock_shift_params"]
CHECK
focus "$MAIN" || fail "the main window did not take the keyboard focus back"
file_menu x
wait_for_exit "File > Exit after sending to PHD2"

# Run 7: an MPC table copied from the service's page and pasted with Ctrl+V while the Motion
# box has the focus, as it has when the window starts; followed from 02:00 and saved. The
# rate turns from 1.20 "/min at 30 degrees to 1.80 at 40 over the hour.
MPC="$TMP/ephemerides/encke-mpc.txt"
printf '%s\n' "   2P/Encke" \
    "Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion" \
    '            h m s                                                            "/min    P.A.' \
    "2024 03 10 020000 23 54 43.0 +01 48 30   1.229   0.900   45.1  49.8  11.0    1.20    030.0" \
    "2024 03 10 030000 23 54 46.4 +01 49 44   1.229   0.900   45.1  49.8  11.0    1.80    040.0" \
    >"$MPC"
TRK7="$TMP/encke.trk"
settings_text 3.5 200 15 "$TMP" >"$INI"
start_app
xclip -selection clipboard -quiet -i "$MPC" 2>>"$TMP/app.log" &
XCLIP_PID=$!
clipboard_holds_table() { xclip -selection clipboard -o 2>/dev/null | grep -q "2P/Encke"; }
wait_for 10 clipboard_holds_table || fail "the MPC table did not reach the clipboard"
focus "$MAIN" || fail "the main window did not take the keyboard focus"
xdotool key ctrl+v
wait_for 15 visible_window "Ephemeris" || fail "Ctrl+V in the Motion box did not open the MPC table"
kill "$XCLIP_PID" 2>/dev/null
focus "$(visible_window "Ephemeris")" || fail "the ephemeris window did not take the focus"
follow_and_save 20240310020000 "$TRK7" "a pasted MPC table"
# The table went to the ephemeris window, not into the Motion box.
grep -q "^Motion=3.5"$'\r'"\$" "$INI" || fail "the Motion box changed: $(grep '^Motion=' "$INI")"
"$TRACK_TOOL" --settings "$INI" --ephemeris "$MPC" \
    --at 2024-03-10T02:00:00Z --follow -o "$TMP/expected-7.trk" ||
    fail "pelindra-track --follow failed on the MPC table"
expect_file "track following the pasted MPC table" "$TMP/expected-7.trk" "$TRK7"
[ "$(wc -l <"$TRK7")" = 6 ] || fail "the following track has $(wc -l <"$TRK7") lines, not 6"

echo "PASS"
