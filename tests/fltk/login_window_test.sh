#!/usr/bin/env bash
# The login window as a person uses it: a private Xvfb, keys typed with xdotool, and the record
# that ConnectionHelper::Login returned, as login_window_main prints it.
# Usage: login_window_test.sh LOGIN_WINDOW_MAIN X11_CLOSE_WINDOW CASE
#        login_window_test.sh LOGIN_WINDOW_MAIN X11_CLOSE_WINDOW screenshots DIR
set -uo pipefail
MAIN=$1
CLOSE_WINDOW=$2
CASE=$3

WORK=$(mktemp -d)
XVFB_PID=
APP_PID=
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

need_tools() {
    for tool in Xvfb xdotool import convert identify compare xprop; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
}

start_xvfb() {
    need_tools
    # A number of our own: Xvfb's lock file then names our server, which rules out talking to
    # another test's server when several run side by side. -noreset: a server resets when its
    # last client leaves, and refuses whoever connects meanwhile.
    local n
    for n in $(seq $((100 + $$ % 400)) 600) $(seq 100 600); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp -noreset 2>"$WORK/xvfb.log" &
        XVFB_PID=$!
        for _ in $(seq 200); do
            if [ "$({ tr -d ' \n' <"/tmp/.X$n-lock"; } 2>/dev/null)" = "$XVFB_PID" ] &&
                DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1; then
                export DISPLAY=":$n"
                return 0
            fi
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.05
        done
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    done
    fail "Xvfb did not start"
}

# Runs the program in a session of its own without standard input: no terminal to fall back on.
start_login() {
    : >"$WORK/out"
    setsid "$MAIN" "$@" </dev/null >"$WORK/out" 2>"$WORK/err" &
    APP_PID=$!
}

# Prints the id of the visible window whose whole title is $1, once it is mapped.
wait_window() {
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$APP_PID" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

open_window() {
    W=$(wait_window "$1") || fail "no window titled '$1'"
    xdotool windowfocus --sync "$W" || fail "cannot focus window $W"
}

# A fresh display and the program on it, its window titled "Login <server>" (the last argument) in focus.
open_login() {
    start_xvfb
    start_login "$@"
    open_window "Login ${*: -1}"
}

# Waits until the program printed its first record.
wait_output() {
    for _ in $(seq 100); do [ -s "$WORK/out" ] && return 0; sleep 0.05; done
    return 1
}

stop_xvfb() {
    kill "$XVFB_PID"
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}

CANCELLED="Cancelled=True User=[] Pswd=[]"

# Waits for the program to end by itself and checks that it ended well, and printed $1 if given.
finish() {
    for _ in $(seq 300); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$APP_PID" 2>/dev/null && fail "the program is still running"
    wait "$APP_PID"
    local rc=$?
    APP_PID=
    [ "$rc" -eq 0 ] || fail "the program ended with status $rc"
    [ $# -eq 0 ] || expect_output "$1"
}

expect_output() {
    local got
    got=$(cat "$WORK/out")
    [ "$got" = "$1" ] || fail "expected output '$1', got '$got'"
}

expect_no_stderr() {
    [ -s "$WORK/err" ] && fail "the library wrote to standard error"
    return 0
}

# "R,G,B" of one pixel of a PNG.
pixel() {
    convert "$1" -format "%[fx:round(255*p{$2,$3}.r)],%[fx:round(255*p{$2,$3}.g)],%[fx:round(255*p{$2,$3}.b)]" info:
}

expect_pixel() {
    local got
    got=$(pixel "$1" "$2" "$3")
    [ "$got" = "$4" ] || fail "$5: pixel ($2,$3) is $got, expected $4"
}

# Share of dark pixels (any channel below 128) in a WxH+X+Y region, in percent.
dark_percent() {
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold 50% -negate -format "%[fx:round(100*mean)]" info:
}

# Rightmost column holding a dark pixel in a WxH+X+Y region, relative to it.
rightmost_dark() {
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold 50% -negate -trim -format "%[fx:page.x+w]" info:
}

# Waits until the window shows its banner (white top-left corner), then captures it.
capture() {
    local i
    for i in $(seq 100); do
        import -window "$W" "$1" 2>/dev/null && [ "$(pixel "$1" 2 2)" = "255,255,255" ] && return 0
        sleep 0.05
    done
    fail "the window never showed its banner"
}

case "$CASE" in
enter_keeps_prefilled)
    open_login 1 "" Beta Marlwood4839 SRV1
    xdotool key Return
    finish "Cancelled=False User=[Beta] Pswd=[Marlwood4839]"
    expect_no_stderr
    ;;
typing_replaces_selection)
    # The focus starts in the user box with its text selected; Tab selects the password's.
    open_login 1 "" olduser oldpw SRV2
    xdotool type --delay 20 "alice"
    xdotool key Tab
    xdotool type --delay 20 "s3cret"
    xdotool key Return
    finish "Cancelled=False User=[alice] Pswd=[s3cret]"
    ;;
shift_tab_end_and_ctrl_a)
    # End keeps the text; Shift+Tab runs backwards through Cancel and OK to the password box;
    # Ctrl+A selects again what End deselected.
    open_login 1 "" olduser oldpw SRV3
    xdotool key End
    xdotool type --delay 20 "X"
    xdotool key shift+Tab shift+Tab shift+Tab
    xdotool type --delay 20 "new"
    xdotool key shift+Tab End ctrl+a
    xdotool type --delay 20 "bob"
    xdotool key Return
    finish "Cancelled=False User=[bob] Pswd=[new]"
    ;;
enter_on_cancel_cancels)
    # Tab order: user, password, OK, Cancel; Enter on Cancel presses Cancel.
    open_login 1 "" Beta pw SRV4
    xdotool key Tab Tab Tab Return
    finish "$CANCELLED"
    ;;
escape_cancels)
    open_login 1 "" Beta pw SRV5
    xdotool type --delay 20 "typed"
    xdotool key Escape
    finish "$CANCELLED"
    ;;
close_command_cancels)
    open_login 1 "" Beta pw SRV6
    xdotool type --delay 20 "typed"
    "$CLOSE_WINDOW" "$W" || fail "could not send the close command"
    finish "$CANCELLED"
    ;;
killed_connection_cancels)
    # The X server drops the program's connection: the process lives on, the dialog counts as
    # closed, and the next Login, with no display and no terminal, is cancelled at once.
    open_login -n 2 1 "" Beta pw SRV7
    xdotool windowkill "$W"
    finish "$CANCELLED"$'\n'"$CANCELLED"
    expect_no_stderr
    ;;
server_gone_cancels)
    open_login -n 2 1 "" Beta pw SRV8
    stop_xvfb
    finish "$CANCELLED"$'\n'"$CANCELLED"
    expect_no_stderr
    ;;
server_gone_between_logins)
    # The server goes away while no dialog is shown: the next Login must not die writing to it.
    open_login -n 2 -p 1 1 "" Beta pw SRV15
    xdotool key Return
    wait_output
    stop_xvfb
    finish $'Cancelled=False User=[Beta] Pswd=[pw]\n'"$CANCELLED"
    expect_no_stderr
    ;;
password_only)
    # The user row is gone and the window is its height shorter; the prefilled user is kept.
    open_login 2 "" Beta oldpw SRV9
    geometry=$(xdotool getwindowgeometry "$W" | sed -n 's/.*Geometry: //p')
    [ "$geometry" = "379x204" ] || fail "window is $geometry, expected 379x204"
    xdotool type --delay 20 "pw9"
    xdotool key Return
    finish "Cancelled=False User=[Beta] Pswd=[pw9]"
    ;;
user_locked)
    # The user box takes the focus but refuses typing and deleting.
    open_login 3 "" Beta oldpw SRV10
    capture "$WORK/before.png"
    xdotool type --delay 20 "zzz"
    xdotool key BackSpace Delete
    sleep 0.3
    capture "$WORK/after.png"
    changed=$(compare -metric AE "$WORK/before.png" "$WORK/after.png" null: 2>&1)
    [ "$changed" = "0" ] || fail "typing changed $changed pixels of the read-only dialog"
    xdotool key Tab
    xdotool type --delay 20 "pw10"
    xdotool key Return
    finish "Cancelled=False User=[Beta] Pswd=[pw10]"
    ;;
empty_password_raises)
    open_login 1 "" Beta oldpw SRV11
    xdotool key Tab BackSpace Return
    finish "Error number=-2147221503 source=[Kestrin.Varnholt.ConnectionHelper.Login] description=[User name and password are required.]"
    ;;
window_gone_after_login)
    # After Login returns the window is gone at once, though the host makes no further call;
    # a second Login in the same process shows a fresh window.
    open_login -n 2 -p 2 1 "" u1 p1 SRV12
    first=$W
    xdotool key Escape
    wait_output || fail "the first Login did not return"
    sleep 0.5
    xdotool search --onlyvisible --name '^Login SRV12$' >/dev/null 2>&1 && fail "the first window is still shown"
    open_window "Login SRV12"
    [ "$W" != "$first" ] || fail "the second Login reused the first window"
    xdotool key Return
    finish "$CANCELLED"$'\nCancelled=False User=[u1] Pswd=[p1]'
    ;;
concurrent_logins)
    # Two threads ask at once: one window at a time, each answered on its own.
    open_login -t 1 -n 2 1 "" u p SRV16
    first=$W
    sleep 0.5
    shown=$(xdotool search --onlyvisible --name '^Login SRV16$' 2>/dev/null | wc -l)
    [ "$shown" -eq 1 ] || fail "$shown windows at once"
    xdotool key Return
    wait_output
    for _ in $(seq 100); do
        W=$(xdotool search --onlyvisible --name '^Login SRV16$' 2>/dev/null | grep -vx "$first" | head -n1)
        [ -n "$W" ] && break
        sleep 0.05
    done
    [ -n "$W" ] || fail "no second window"
    xdotool windowfocus --sync "$W" || fail "cannot focus window $W"
    xdotool key Escape
    finish
    sort -o "$WORK/out" "$WORK/out"
    expect_output $'Cancelled=False User=[u] Pswd=[p]\n'"$CANCELLED"
    ;;
appearance)
    open_login 1 "" Beta Marlwood4839 SRV13
    capture "$WORK/shot.png"
    size=$(identify -format "%wx%h" "$WORK/shot.png")
    [ "$size" = "379x223" ] || fail "window is $size, expected 379x223 (5685 x 3345 twips)"
    expect_pixel "$WORK/shot.png" 150 40 "255,255,255" "banner"
    expect_pixel "$WORK/shot.png" 5 70 "192,192,192" "line under the banner"
    expect_pixel "$WORK/shot.png" 150 75 "240,240,240" "button face below the banner"
    expect_pixel "$WORK/shot.png" 300 99 "240,240,240" "disabled server box"
    expect_pixel "$WORK/shot.png" 300 125 "255,255,255" "user box"
    expect_pixel "$WORK/shot.png" 300 151 "255,255,255" "password box"
    picture=$(dark_percent "$WORK/shot.png" 73x68+304+0)
    [ "$picture" -ge 15 ] || fail "the picture is nearly empty ($picture% dark)"
    heading=$(dark_percent "$WORK/shot.png" 200x13+10+6)
    [ "$heading" -ge 8 ] || fail "the heading is missing ($heading% dark)"
    mask=$(dark_percent "$WORK/shot.png" 120x11+92+145)
    [ "$mask" -ge 3 ] || fail "the password box shows no mask ($mask% dark)"
    hints=$(xprop -id "$W" _MOTIF_WM_HINTS WM_NORMAL_HINTS _NET_WM_WINDOW_TYPE)
    grep -q "_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = 0x3, 0x24, 0x1a" <<<"$hints" ||
        fail "window manager may offer resizing, minimising or maximising: $hints"
    grep -q "minimum size: 379 by 223" <<<"$hints" && grep -q "maximum size: 379 by 223" <<<"$hints" ||
        fail "the size is not fixed: $hints"
    grep -q "_NET_WM_WINDOW_TYPE_DIALOG" <<<"$hints" || fail "not a dialog window: $hints"
    xdotool key Escape
    finish "$CANCELLED"
    ;;
literal_captions)
    # Captions are drawn as given: "@CD" is text, not one of FLTK's symbols.
    start_xvfb
    right=()
    for heading in "AB" "AB@CD"; do
        export LOGIN_HEADING=$heading
        start_login 1 "" u p SRV14
        open_window "Login SRV14"
        capture "$WORK/shot.png"
        right[${#right[@]}]=$(rightmost_dark "$WORK/shot.png" 280x13+10+6)
        xdotool key Escape
        finish
    done
    [ "${right[1]}" -ge $((right[0] + 20)) ] ||
        fail "'AB@CD' ends at x=${right[1]}, hardly right of 'AB' at x=${right[0]}"
    ;;
no_display)
    # Without a display (none set, then one no server answers) and without a terminal the
    # process survives and Login is cancelled.
    unset DISPLAY
    n=99
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    for display in "" ":$n"; do
        [ -n "$display" ] && export DISPLAY=$display
        start_login 1 "" Beta pw SRV
        finish "$CANCELLED"
        expect_no_stderr
    done
    ;;
screenshots)
    # Not a test: draws docs/images/login-*.png from the three modes.
    DIR=${4:?usage: login_window_test.sh MAIN CLOSE screenshots DIR}
    mkdir -p "$DIR"
    start_xvfb
    for shot in "1 login-user-password" "2 login-password-only" "3 login-user-locked"; do
        set -- $shot
        start_login "$1" "" Beta Marlwood4839 DBSERVER
        open_window "Login DBSERVER"
        capture "$DIR/$2.png"
        xdotool key Escape
        finish
    done
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "PASS [$CASE]"
