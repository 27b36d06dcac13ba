#!/usr/bin/env bash
# The login dialog under Wine as a person meets it: login_client.exe shows it through IDispatch
# on the X display that run.sh started; this script finds the window by its title, answers with
# the keyboard or the mouse, looks at screenshots, and checks what Login returned and the layout
# the client saw. Prints one "N passed, M failed" line.
#
# Usage (from run.sh, with WINEPREFIX, DISPLAY and the engine variables set):
#   login_dialog.sh <wine loader> <build folder> <work folder> [screenshot folder]
set -uo pipefail
loader=$1 bin=$2 run=$3 screenshots=${4:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
client=$bin/tests/component/login_client.exe
passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }

# The banner picture as the dialog should show it: the source's XPM lines make an XPM file.
{
    echo '/* XPM */'
    echo 'static char *picture[] = {'
    grep -o '^ *"[^"]*"' "$root/src/login/LoginPicture.cpp" | sed 's/$/,/'
    echo '};'
} >"$run/picture.xpm"
# At 96 dpi the picture sits at (304, -2) of the client area, 2 pixels above the banner and 2
# beyond the client's right edge (design twips 4560, -30 on a 5685-twip client): 75 x 70 show.
convert "$run/picture.xpm" -crop 75x70+0+2 +repage "$run/picture-visible.png"

log='' window='' client_pid=''

# Waits for the client's dialog window (mapped, titled) and for the client's description of it.
await_dialog() {
    local title=$1
    window=
    for _ in $(seq 1 300); do
        if ! kill -0 "$client_pid" 2>/dev/null; then return 1; fi
        window=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -1)
        if [ -n "$window" ] && grep -q '^shown' "$log"; then return 0; fi
        sleep 0.1
    done
    return 1
}

# Lets the client end by itself; after 20 s it is ended and the case fails.
await_exit() {
    for _ in $(seq 1 200); do
        kill -0 "$client_pid" 2>/dev/null || { wait "$client_pid"; return 0; }
        sleep 0.1
    done
    kill "$client_pid" 2>/dev/null
    wait "$client_pid" 2>/dev/null
    return 1
}

# The client's description of the control showing text: one "control|..." line.
control() { tr -d '\r' <"$log" | awk -F'|' -v text="$1" '$1 == "control" && $3 == text' | head -1; }
field() { echo "$1" | cut -d'|' -f"$2"; }
client_line() { tr -d '\r' <"$log" | grep '^client|' | head -1; }

# Screenshot of the dialog; the banner's picture, panel and line are checked in it, which also
# waits for the dialog to be painted.
screenshot() {
    local name=$1 shot=$run/$1.png line ox oy looked=
    line=$(client_line)
    ox=$(field "$line" 4) oy=$(field "$line" 5)
    for _ in $(seq 1 20); do
        import -window "$window" "$shot" 2>/dev/null
        convert "$shot" -crop "75x70+$((ox + 304))+$oy" +repage "$run/$name-picture.png" 2>/dev/null
        if compare -metric AE "$run/$name-picture.png" "$run/picture-visible.png" null: 2>/dev/null; then
            looked=1
            break
        fi
        sleep 0.25
    done
    if [ -n "$looked" ]; then pass; else fail "$case_name: the banner picture is not shown at its place ($shot)"; fi
    # White panel above the grey line at 1050 twips (70 px); button face below the banner.
    local colours
    colours=$(convert "$shot" -format "%[hex:p{$((ox + 20)),$((oy + 60))}] %[hex:p{$((ox + 20)),$((oy + 70))}] %[hex:p{$((ox + 5)),$((oy + 80))}]" info: 2>/dev/null)
    case "$colours" in
        "FFFFFF C0C0C0 "*) [ "${colours##* }" != FFFFFF ] && pass || fail "$case_name: no face colour below the banner ($colours)" ;;
        *) fail "$case_name: banner colours [$colours], expected white over a C0C0C0 line" ;;
    esac
    [ -n "$screenshots" ] && cp "$shot" "$screenshots/win32-login-$name.png"
}

# One dialog: dialog_case NAME TITLE MODE CAPTION USER PASSWORD SERVER ACTION... where an action
# is key:KEYS, type:TEXT, shot:NAME or close (the caption's close button, with the mouse).
dialog_case() {
    case_name=$1
    local title=$2
    shift 2
    local args=("$1" "$2" "$3" "$4" "$5")
    shift 5
    log=$run/login-$case_name.log
    "$loader" "$client" "${args[@]}" >"$log" 2>&1 &
    client_pid=$!
    if ! await_dialog "$title"; then
        fail "$case_name: no window titled [$title]"
        tr -d '\r' <"$log" | sed 's/^/    /'
        kill "$client_pid" 2>/dev/null; wait "$client_pid" 2>/dev/null
        return
    fi
    pass
    local action geometry
    for action in "$@"; do
        case $action in
            # Sent to the window itself: there is no window manager to give it the focus. What
            # xdotool says about the display's focus then is noise; the outcome is checked.
            key:*) xdotool key --window "$window" ${action#key:} 2>/dev/null ;;
            type:*) xdotool type --window "$window" "${action#type:}" 2>/dev/null ;;
            shot:*) screenshot "${action#shot:}" ;;
            close)
                # The close button of the caption that Wine draws, at the window's top right.
                geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
                xdotool mousemove --window "$window" $((geometry - 12)) 11 click 1
                ;;
        esac
    done
    if ! await_exit; then
        fail "$case_name: the dialog did not close (what the client printed follows)"
        tr -d '\r' <"$log" | grep -v '^control|' | sed 's/^/    /'
    fi
}

expect_result() {
    local got
    got=$(tr -d '\r' <"$log" | grep -E '^(result|error|setup)\|' | tail -1)
    if [ "$got" = "$1" ]; then pass; else fail "$case_name: Login gave [$got], expected [$1]"; fi
}
expect_eq() { if [ "$2" = "$3" ]; then pass; else fail "$case_name: $1: got [$2], expected [$3]"; fi; }
expect_flags() {
    local flags; flags=$(field "$(control "$1")" 8)
    case ",$flags," in *",$2,"*) [ "$3" = yes ] && pass || fail "$case_name: [$1] is $2 ($flags)" ;;
                       *) [ "$3" = no ] && pass || fail "$case_name: [$1] is not $2 ($flags)" ;; esac
}
shot_height() { identify -format %h "$run/$1.png" 2>/dev/null; }

literal34="User name and password are required."

# Enter takes the prefilled values; the window as designed.
dialog_case user-password "Login SRV1" 1 "" Beta Marlwood4839 SRV1 shot:user-password key:Return
expect_result "result|False|Beta|Marlwood4839"
expect_eq "server box" "$(field "$(control SRV1)" 2)|$(field "$(control SRV1)" 8)" "Edit|visible,disabled"
expect_flags Marlwood4839 "masked=*" yes
expect_flags Beta readonly no
for label in "Specify the login information," "Server" "User Name" "Password" "OK" "Cancel"; do
    expect_flags "$label" visible yes
done
# The design's twips at 96 dpi (15 twips a pixel): left, top, width, height.
expect_eq "user box" "$(control Beta | cut -d'|' -f4-7)" "88|116|231|19"
expect_eq "password box" "$(control Marlwood4839 | cut -d'|' -f4-7)" "88|143|231|19"
expect_eq "OK button" "$(control OK | cut -d'|' -f4-7)" "188|192|91|24"
expect_eq "client area" "$(client_line | cut -d'|' -f2-3)" "379|223"
full_height=$(shot_height user-password)

# The caret starts in the user box; each box selects its prefilled text when it takes the
# focus: typing replaces it.
dialog_case replaces "Login SRV1" 1 "" Beta old SRV1 type:bob key:Tab type:new key:Return
expect_result "result|False|bob|new"

dialog_case escape "Login SRV1" 1 "" Beta pw SRV1 key:Escape
expect_result "result|True||"

dialog_case close-button "Login SRV1" 1 "" Beta pw SRV1 close
expect_result "result|True||"

# Enter on the focused Cancel button cancels.
dialog_case enter-on-cancel "Login SRV1" 1 "" Beta pw SRV1 key:Tab key:Tab key:Tab key:Return
expect_result "result|True||"

# The user row hidden, the rows below it moved up by one box, the window shorter by as much;
# the caret starts in the password box, and the prefilled user name is still returned.
dialog_case password-only "Login SRV1" 2 "" Beta Marlwood4839 SRV1 shot:password-only type:new key:Return
expect_result "result|False|Beta|new"
expect_flags Beta visible no
expect_flags "User Name" visible no
expect_eq "password box" "$(control Marlwood4839 | cut -d'|' -f4-7)" "88|$((143 - 19))|231|19"
expect_eq "OK button" "$(control OK | cut -d'|' -f4-7)" "188|$((192 - 19))|91|24"
expect_eq "client area" "$(client_line | cut -d'|' -f2-3)" "379|$((223 - 19))"
expect_eq "window height" "$(shot_height password-only)" "$((full_height - 19))"

# A locked user name takes the focus but no typing.
dialog_case user-locked "Login SRV1" 3 "" Beta Marlwood4839 SRV1 shot:user-locked type:zzz key:BackSpace key:Tab type:new key:Return
expect_result "result|False|Beta|new"
expect_flags Beta readonly yes

# A cleared password is refused after the dialog has closed.
dialog_case cleared "Login SRV1" 1 "" Beta pw SRV1 key:Tab key:BackSpace key:Return
expect_result "error|-2147221503|Kestrin.Varnholt.ConnectionHelper.Login|$literal34"

# No server: the placeholder in braces, and the title ends in a blank.
dialog_case no-server "Login " 1 "" Beta pw "" key:Escape
expect_result "result|True||"
expect_eq "server box" "$(field "$(control "{no server}")" 2)" "Edit"

echo "$passed passed, $failed failed"
