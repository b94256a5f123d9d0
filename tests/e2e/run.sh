#!/usr/bin/env bash
# The whole program in a desktop made for the test, driven as a user would drive it.
#
#   tests/e2e/run.sh BUILD_DIR
#
# An X server (Xvfb), a window manager (openbox) and a plain X tray host (trayer, which embeds icons
# by XEmbed) are started on a display of their own; the program gets a fresh home and no session
# bus, so its tray icon goes through XEmbed. xdotool types and clicks, ImageMagick takes a
# screenshot of each step into BUILD_DIR/e2e/, and Tesseract reads the icon's tool tip.
#
# The server is typed as the test Dovecot's 127.0.0.1:PORT, so any user can run the test. Where no
# test Dovecot can start, the test is skipped and exits 77.
#
# QUILLPOST_E2E_PROGRAM picks the program to run. By default the build is installed into a
# temporary prefix and PREFIX/bin/quillpost runs; without install rules, BUILD_DIR/quillpost does.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
readonly HERE
readonly HARNESS="$HERE/../dovecot/harness.sh"
readonly TOOLS=(Xvfb openbox trayer xdotool xwininfo xprop import convert tesseract)
# Every wait gives up after this many seconds.
readonly DEADLINE=20

say() { printf 'e2e: %s\n' "$*"; }

[[ $# -eq 1 ]] || {
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
}
for tool in "${TOOLS[@]}"; do
    command -v "$tool" >/dev/null || {
        echo "e2e: $tool is missing (scripts/test.sh installs it)" >&2
        exit 1
    }
done

build="$(cd "$1" && pwd)"
out="$build/e2e"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillpost-e2e.XXXXXX")
pids=()
program_pid=

# Everything started here goes, in reverse order, however the script ends.
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -TERM -- "-${pids[i]}" 2>/dev/null || kill -TERM "${pids[i]}" 2>/dev/null || true
    done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        wait "${pids[i]}" 2>/dev/null || true
    done
    pids=()
    bash "$HARNESS" stop "$out" >/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# start NAME COMMAND...: runs the command in a process group of its own, output to OUT/NAME.log.
start() {
    local name=$1
    shift
    setsid "$@" >"$out/$name.log" 2>&1 &
    pids+=("$!")
}

shot() {
    import -window root "$out/$1.png"
    say "screenshot $out/$1.png"
}

fail() {
    echo "e2e: FAILED: $*" >&2
    [[ -z ${DISPLAY:-} ]] || import -window root "$out/failure.png" 2>/dev/null || true
    echo "e2e: screenshots and logs are in $out" >&2
    exit 1
}

# wait_until WHAT COMMAND...: polls the command until it succeeds, for at most DEADLINE seconds.
wait_until() {
    local what=$1 end=$((SECONDS + DEADLINE))
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < end)) || fail "no $what within $DEADLINE s"
        sleep 0.1
    done
}

visible() { xdotool search --onlyvisible --name "^$1\$"; }
hidden() { ! visible "$1"; }
active_is() { [[ $(xdotool getactivewindow getwindowname 2>/dev/null) == "$1" ]]; }
# Ended, or a zombie waiting for this script to collect its status.
stopped() { [[ ! -e /proc/$program_pid ]] || [[ $(awk '{ print $3 }' "/proc/$program_pid/stat") == Z ]]; }

# The program's icon window, embedded somewhere below the tray host's panel.
tray_icon() { xwininfo -tree -id "$panel" | awk '/"Quillpost"\)/ && !found { print $1; found = 1 } END { exit !found }'; }
no_tray_icon() { ! tray_icon; }

# The program's visible pop-up windows, one a line: window and kind. Qt types a tool tip as such;
# a menu it marks only as a transient window that bypasses the window manager.
popups() {
    local window props
    for window in $(xdotool search --onlyvisible --classname '^quillpost$'); do
        props=$(xprop -id "$window" _NET_WM_WINDOW_TYPE WM_TRANSIENT_FOR) || continue
        if [[ $props == *_NET_WM_WINDOW_TYPE_TOOLTIP* ]]; then
            echo "$window tool-tip"
        elif [[ $props == *'WM_TRANSIENT_FOR(WINDOW)'* ]] &&
            xwininfo -id "$window" | grep -q 'Override Redirect State: yes'; then
            echo "$window menu"
        fi
    done
}
popup() { popups | awk -v kind="$1" '$2 == kind && !found { print $1; found = 1 } END { exit !found }'; }
menu() { popup menu; }
no_menu() { ! menu; }
tool_tip() { popup tool-tip; }
no_tool_tip() { ! tool_tip; }

point_at_icon() {
    # shellcheck disable=SC2034 # all set by the eval, kept local
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$(tray_icon)")"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
}
click_icon() {
    point_at_icon
    xdotool click "$1"
}

# The tool tip is up. Once a pop-up menu has been open, Qt may let the move that brings the pointer
# onto the icon pass without a tip; a hand resting there moves a little now and then, and the next
# move brings it. Each move restarts the tip's delay (0.7 s), so the nudges come 1.5 s apart.
polls_for_tip=0
tool_tip_shown() {
    tool_tip && return 0
    if ((++polls_for_tip % 15 == 0)); then
        xdotool mousemove_relative --sync -- $((polls_for_tip / 15 % 2 * 2 - 1)) 0
    fi
    return 1
}

# Prints what OCR reads in the given window, from a fresh screenshot of the screen.
read_window() {
    # shellcheck disable=SC2034 # all set by the eval, kept local
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$out/$2.png"
    # Without its frame and enlarged, Tesseract reads the small tip text reliably.
    convert "$out/$2.png" -shave 2x2 -resize 400% -bordercolor white -border 30 "$tmp/ocr.png"
    tesseract "$tmp/ocr.png" - --psm 7 2>/dev/null
}

mkdir -p "$out"
bash "$HARNESS" stop "$out" >/dev/null
rm -rf "$out"
mkdir -p "$out"

program=${QUILLPOST_E2E_PROGRAM:-}
if [[ -z $program ]]; then
    cmake --install "$build" --prefix "$tmp/prefix" >"$out/install.log"
    program=$build/quillpost
    [[ ! -e $tmp/prefix/bin/quillpost ]] || program=$tmp/prefix/bin/quillpost
fi
[[ -x $program ]] || fail "no program at $program"
say "program $program"

status=0
# The harness's folder is e2e/, not the build: it is told where the build made the stub it runs.
export QUILLPOST_INTROSPECTION_STUB=$build/tests/quillpost_token_verifier
bash "$HARNESS" start "$out" || status=$?
if [[ $status -eq 77 ]]; then
    say "SKIPPED: no test Dovecot can run here"
    exit 77
fi
[[ $status -eq 0 ]] || fail "the test Dovecot did not start"
# shellcheck disable=SC1091 # written by the harness
source "$out/dovecot/env"
alice_logins() { grep -c 'Login: user=<alice>' "$QUILLPOST_DOVECOT_LOG" || true; }
logins_before=$(alice_logins)

server=$QUILLPOST_DOVECOT_PLAINTEXT_HOST:$QUILLPOST_DOVECOT_PORT

mkdir -m 0700 "$tmp/home" "$tmp/runtime"
start xvfb Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display"
display_ready() { grep -q '^[0-9]' "$tmp/display"; }
wait_until "X display" display_ready
DISPLAY=:$(head -n 1 "$tmp/display")
export DISPLAY
say "X display $DISPLAY"
# A session of its own: nothing of the caller's desktop, and no session bus, so Qt embeds the icon
# by XEmbed.
session=(env -i PATH="$PATH" LANG=C.UTF-8 DISPLAY="$DISPLAY" HOME="$tmp/home"
    XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share"
    XDG_CACHE_HOME="$tmp/home/.cache" XDG_RUNTIME_DIR="$tmp/runtime"
    DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/no-session-bus")

start openbox "${session[@]}" openbox
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_until "window manager" wm_ready
start trayer "${session[@]}" trayer --edge top --align right --widthtype request --height 32 \
    --SetDockType true --transparent false --tint 0xd0d0d0
find_panel() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ && !found { print $1; found = 1 } END { exit !found }'; }
wait_until "tray host" find_panel
panel=$(find_panel)

start quillpost "${session[@]}" QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="quillpost.*=true" "$program"
program_pid=${pids[-1]}
settings=$tmp/home/.config/Quillpost/Quillpost.ini

say "1) first run: the settings window and the set-up message"
wait_until "set-up message" visible "Quillpost Set Up"
wait_until "settings window" visible "Quillpost Settings"
wait_until "focus on the set-up message" active_is "Quillpost Set Up"
shot 1-first-run
# With the network up, the first on-line poll (about 5 seconds after start) checks at once and asks
# for the missing details again; let it come while the message is still open, so that it cannot
# take the keys typed below.
if ip route show default 2>/dev/null | grep -q .; then
    asked() { grep -q 'quillpost.check: no server or user ID' "$out/quillpost.log"; }
    wait_until "first on-line poll" asked
fi
xdotool key Return
wait_until "set-up message closing" hidden "Quillpost Set Up"

say "2) server, user ID and password typed in, Go On-Line chosen, Enter"
wait_until "focus back in the settings window" active_is "Quillpost Settings"
xdotool type --delay 40 "$server"
xdotool key Tab
xdotool type --delay 40 alice
xdotool key Tab
xdotool type --delay 40 wonderland
# Go On-Line: checks are tried whether or not the computer is on the network. An access key clicks
# its button after a short animation; a user's next key comes later than that.
xdotool key alt+g
sleep 0.5
shot 2-details-typed
xdotool key Return
wait_until "settings window hiding" hidden "Quillpost Settings"
shot 3-saved
grep -qx "POP3Server=$server" "$settings" || fail "server not saved: $(cat "$settings")"
grep -qx 'UserId=alice' "$settings" || fail "user ID not saved"
grep -qx 'IfOffLine=1' "$settings" || fail "Go On-Line not saved"
password=$(sed -n 's/^Password=//p' "$settings")
[[ -n $password && $password != *wonderland* ]] || fail "password not saved enciphered: '$password'"

say "3) the icon in the tray"
wait_until "tray icon" tray_icon
shot 4-tray-icon

say "4) left click: settings window; Esc closes it"
click_icon 1
wait_until "settings window after a left click" visible "Quillpost Settings"
wait_until "focus in the settings window" active_is "Quillpost Settings"
shot 5-left-click
xdotool key Escape
wait_until "settings window closing on Esc" hidden "Quillpost Settings"

say "5) right click, Check Now; the tool tip gives the result"
click_icon 3
wait_until "pop-up menu" menu
shot 6-menu
xdotool key n
wait_until "pop-up menu closing" no_menu
checked() { grep -q 'quillpost.check: result: "3 e-mails waiting' "$out/quillpost.log"; }
wait_until "check result in the program's log" checked
(($(alice_logins) > logins_before)) || fail "Dovecot saw no login of alice"
# The tip appears when the pointer comes to rest over the icon.
xdotool mousemove --sync 512 384
point_at_icon
wait_until "tool tip" tool_tip_shown
shot 7-tool-tip
tip=$(read_window "$(tool_tip)" 7-tool-tip-text)
say "tool tip reads: $tip"
[[ $tip == "3 e-mails waiting" ]] || fail "tool tip reads '$tip', expected '3 e-mails waiting'"
xdotool mousemove --sync 512 384
wait_until "tool tip going" no_tool_tip

say "6) right click, Quit: the icon leaves the tray and the program ends"
click_icon 3
wait_until "pop-up menu" menu
shot 8-menu-quit
xdotool key q
wait_until "tray icon removal" no_tray_icon
wait_until "program end" stopped
shot 9-quit
wait "$program_pid" || fail "the program ended with status $?"
say "passed: first run, settings typed and saved, tray icon, left click, Check Now against Dovecot, tool tip, Quit"
