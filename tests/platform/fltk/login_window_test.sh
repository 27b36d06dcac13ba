#!/usr/bin/env bash
# The login window as a person uses it: a private Xvfb, keys typed with xdotool, and the record
# that ConnectionHelper::Login returned, as login_main prints it.
# Usage: login_window_test.sh LOGIN_MAIN X11_CLOSE_WINDOW CASE
#        login_window_test.sh LOGIN_MAIN X11_CLOSE_WINDOW screenshots DIR
set -uo pipefail
MAIN=$1 CLOSE_WINDOW=$2 CASE=$3
WORK=$(mktemp -d) XVFB_PID= APP_PID=
CANCELLED="Cancelled=True User=[] Pswd=[]"
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL [$CASE]: $*"
    for f in out err; do [ -s "$WORK/$f" ] && { echo "--- program std$f:"; cat "$WORK/$f"; }; done
    if [ -n "$APP_PID" ] && ! kill -0 "$APP_PID" 2>/dev/null; then
        wait "$APP_PID"
        echo "--- the program ended with status $?"
    fi
    [ -s "$WORK/xvfb.log" ] && { echo "--- Xvfb:"; cat "$WORK/xvfb.log"; }
    exit 1
}

# Runs "$@" every 50 ms, at most $1 times, until it succeeds.
poll() {
    local tries=$1 _
    shift
    for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.05; done
    return 1
}

app_ended() { ! kill -0 "$APP_PID" 2>/dev/null; }

start_xvfb() {
    for tool in Xvfb xdotool import convert identify compare xprop; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
    # Xvfb takes a free display, one no other test's server has, and names it once it accepts
    # connections. -noreset: a server resets when its last client leaves, and refuses whoever
    # connects meanwhile.
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$WORK/display" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
    poll 200 eval '[ -s "$WORK/display" ] || ! kill -0 "$XVFB_PID" 2>/dev/null'
    [ -s "$WORK/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$WORK/display")"
}

stop_xvfb() {
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}

# Runs the program in a session of its own without standard input: no terminal to fall back on.
start_login() {
    : >"$WORK/out"
    setsid "$MAIN" "$@" </dev/null >"$WORK/out" 2>"$WORK/err" &
    APP_PID=$!
}

# Focuses the visible window whose whole title is $1 and is not $2, once it is mapped, as $W.
open_window() {
    found() {
        W=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "${2:-none}" | head -n1)
        [ -n "$W" ] || app_ended
    }
    poll 300 found "$@"
    [ -n "$W" ] || fail "no window titled '$1'"
    xdotool windowfocus --sync "$W" || fail "cannot focus window $W"
}

# Waits until the program printed its first record.
wait_output() { poll 100 test -s "$WORK/out" || fail "the first Login did not return"; }

# Waits for the program to end by itself and checks that it ended well, printed $1 (unless
# empty) and nothing on standard error.
finish() {
    poll 300 app_ended || fail "the program is still running"
    wait "$APP_PID"
    local rc=$? got
    APP_PID=
    [ "$rc" -eq 0 ] || fail "the program ended with status $rc"
    got=$(cat "$WORK/out")
    [ -z "$1" ] || [ "$got" = "$1" ] || fail "expected output '$1', got '$got'"
    [ -s "$WORK/err" ] && fail "the library wrote to standard error"
    return 0
}

# Opens a dialog with login_main's options $OPTS and MODE USER PASSWORD SERVER (the words of
# $1, no caption), plays the actions (t:TEXT types, k:KEYS presses, close sends the close
# command, kill kills the window, size:WxH checks the window's size, shot:FILE captures it,
# shown:N checks that after a while N windows of the title are shown, next opens the next
# one, anything else is run as a command) and expects the record $2 (unless empty).
play() {
    local args=($1) action size count title="Login ${1##* }"
    start_login ${OPTS:-} "${args[0]}" "" "${args[@]:1}"
    open_window "$title"
    for action in "${@:3}"; do
        case $action in
        t:*) xdotool type --delay 20 "${action#t:}" ;;
        k:*) xdotool key ${action#k:} ;;
        close) "$CLOSE_WINDOW" "$W" || fail "could not send the close command" ;;
        kill) xdotool windowkill "$W" ;;
        size:*) size=$(xdotool getwindowgeometry "$W" | sed -n 's/.*Geometry: //p')
            [ "$size" = "${action#size:}" ] || fail "window is $size, expected ${action#size:}" ;;
        shot:*) capture "${action#shot:}" ;;
        shown:*) sleep 0.5
            count=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | wc -l)
            [ "$count" -eq "${action#shown:}" ] || fail "$count windows '$title' shown, expected ${action#shown:}" ;;
        next) open_window "$title" "$W" ;;
        *) $action ;;
        esac
    done
    finish "$2"
}

# "R,G,B" of one pixel of a PNG.
pixel() {
    convert "$1" -format "%[fx:round(255*p{$2,$3}.r)],%[fx:round(255*p{$2,$3}.g)],%[fx:round(255*p{$2,$3}.b)]" info:
}

# Share of dark pixels (any channel below 128) in a WxH+X+Y region of a PNG, in percent; with
# -trim, the rightmost column holding one instead, relative to the region.
dark() {
    local measure="%[fx:round(100*mean)]"
    [ "${3:-}" = -trim ] && measure="%[fx:page.x+w]"
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold 50% -negate ${3:-} -format "$measure" info:
}

# Waits until the window shows its banner (white top-left corner), then captures it.
capture() {
    shows_banner() { import -window "$W" "$1" 2>/dev/null && [ "$(pixel "$1" 2 2)" = "255,255,255" ]; }
    poll 100 shows_banner "$1" || fail "the window never showed its banner"
}

# The window manager may neither resize, minimise nor maximise the dialog.
hints() {
    local hints
    hints=$(xprop -id "$W" _MOTIF_WM_HINTS WM_NORMAL_HINTS _NET_WM_WINDOW_TYPE)
    grep -q "_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = 0x3, 0x24, 0x1a" <<<"$hints" ||
        fail "window manager may offer resizing, minimising or maximising: $hints"
    grep -q "minimum size: 379 by 223" <<<"$hints" && grep -q "maximum size: 379 by 223" <<<"$hints" ||
        fail "the size is not fixed: $hints"
    grep -q "_NET_WM_WINDOW_TYPE_DIALOG" <<<"$hints" || fail "not a dialog window: $hints"
}

case "$CASE" in
keys)
    start_xvfb
    play "1 Beta Marlwood4839 SRV1" "Cancelled=False User=[Beta] Pswd=[Marlwood4839]" k:Return
    # The focus starts in the user box with its text selected; Tab selects the password's.
    play "1 olduser oldpw SRV2" "Cancelled=False User=[alice] Pswd=[s3cret]" t:alice k:Tab t:s3cret k:Return
    # End keeps the text; Shift+Tab runs backwards through Cancel and OK to the password box;
    # Ctrl+A selects again what End deselected.
    play "1 olduser oldpw SRV3" "Cancelled=False User=[bob] Pswd=[new]" k:End t:X "k:shift+Tab shift+Tab shift+Tab" \
        t:new "k:shift+Tab End ctrl+a" t:bob k:Return
    # Tab order: user, password, OK, Cancel; Enter on Cancel presses Cancel.
    play "1 Beta pw SRV4" "$CANCELLED" "k:Tab Tab Tab Return"
    play "1 Beta pw SRV5" "$CANCELLED" t:typed k:Escape
    play "1 Beta pw SRV6" "$CANCELLED" t:typed close
    # The user row is gone and the window is its height shorter; the prefilled user is kept.
    play "2 Beta oldpw SRV9" "Cancelled=False User=[Beta] Pswd=[pw9]" size:379x204 t:pw9 k:Return
    play "1 Beta oldpw SRV11" "Error number=-2147221503 source=[Kestrin.Varnholt.ConnectionHelper.Login] \
description=[User name and password are required.]" "k:Tab BackSpace Return"
    # The user box takes the focus but refuses typing and deleting.
    play "3 Beta oldpw SRV10" "Cancelled=False User=[Beta] Pswd=[pw10]" "shot:$WORK/before.png" t:zzz \
        "k:BackSpace Delete" "sleep 0.3" "shot:$WORK/after.png" k:Tab t:pw10 k:Return
    changed=$(compare -metric AE "$WORK/before.png" "$WORK/after.png" null: 2>&1)
    [ "$changed" = "0" ] || fail "typing changed $changed pixels of the read-only dialog"
    ;;
display_lost)
    # The X server drops the program's connection, or goes away during a dialog or between two:
    # the process lives on, the dialog counts as closed, and the next Login, with no display
    # and no terminal, is cancelled at once without writing to the server.
    start_xvfb
    OPTS="-n 2" play "1 Beta pw SRV7" "$CANCELLED"$'\n'"$CANCELLED" kill
    OPTS="-n 2" play "1 Beta pw SRV8" "$CANCELLED"$'\n'"$CANCELLED" stop_xvfb
    start_xvfb
    OPTS="-n 2 -p 1" play "1 Beta pw SRV15" $'Cancelled=False User=[Beta] Pswd=[pw]\n'"$CANCELLED" k:Return \
        wait_output stop_xvfb
    # With a display no server answers the process survives as well (with none set at all:
    # login_tests' NobodyToAskMeansCancel).
    n=99
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    DISPLAY=:$n start_login 1 "" Beta pw SRV
    finish "$CANCELLED"
    ;;
several_logins)
    # After Login returns the window is gone at once, though the host makes no further call;
    # a second Login in the same process shows a fresh window.
    start_xvfb
    OPTS="-n 2 -p 2" play "1 u1 p1 SRV12" "$CANCELLED"$'\nCancelled=False User=[u1] Pswd=[p1]' k:Escape \
        wait_output shown:0 next k:Return
    # Two threads ask at once: one window at a time, each answered on its own.
    OPTS="-t 1 -n 2" play "1 u p SRV16" "" shown:1 k:Return wait_output next k:Escape
    [ "$(sort "$WORK/out")" = $'Cancelled=False User=[u] Pswd=[p]\n'"$CANCELLED" ] ||
        fail "two logins gave $(cat "$WORK/out")"
    ;;
appearance)
    start_xvfb
    shot=$WORK/shot.png
    play "1 Beta Marlwood4839 SRV13" "$CANCELLED" "shot:$shot" hints k:Escape
    size=$(identify -format "%wx%h" "$shot")
    [ "$size" = "379x223" ] || fail "window is $size, expected 379x223 (5685 x 3345 twips)"
    for expected in "150 40 255,255,255 banner" "5 70 192,192,192 line under the banner" \
        "150 75 240,240,240 button face below the banner" "300 99 240,240,240 disabled server box" \
        "300 125 255,255,255 user box" "300 151 255,255,255 password box"; do
        read -r x y rgb what <<<"$expected"
        got=$(pixel "$shot" "$x" "$y")
        [ "$got" = "$rgb" ] || fail "$what: pixel ($x,$y) is $got, expected $rgb"
    done
    for expected in "73x68+304+0 15 picture" "200x13+10+6 8 heading" "120x11+92+145 3 password mask"; do
        read -r region least what <<<"$expected"
        got=$(dark "$shot" "$region")
        [ "$got" -ge "$least" ] || fail "the $what is missing ($got% dark)"
    done
    # Captions are drawn as given: "@CD" is text, not one of FLTK's symbols.
    right=()
    for heading in "AB" "AB@CD"; do
        LOGIN_HEADING=$heading play "1 u p SRV14" "$CANCELLED" "shot:$shot" k:Escape
        right+=("$(dark "$shot" 280x13+10+6 -trim)")
    done
    [ "${right[1]}" -ge $((right[0] + 20)) ] ||
        fail "'AB@CD' ends at x=${right[1]}, hardly right of 'AB' at x=${right[0]}"
    ;;
screenshots)
    # Not a test: draws docs/images/login-*.png from the three modes.
    DIR=${4:?usage: login_window_test.sh MAIN CLOSE screenshots DIR}
    mkdir -p "$DIR"
    start_xvfb
    for shot in "1 login-user-password" "2 login-password-only" "3 login-user-locked"; do
        set -- $shot
        play "$1 Beta Marlwood4839 DBSERVER" "$CANCELLED" "shot:$DIR/$2.png" k:Escape
    done
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$CASE]"
