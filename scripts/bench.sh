#!/usr/bin/env bash
# Builds build/ (RelWithDebInfo), starts the test Dovecot, and times whole checks against it beside
# a bare POP3 client, plus the CPU used while a check waits on a silent server. Then sets the
# program beside an empty Qt tray program (bench/EmptyTray.cpp), both on an X server of their own
# with a stand-in tray host: time from start to the icon registered, and memory (PSS) and CPU after
# a minute idle; and the empty program with a hidden settings-like window, the cost of such a window
# on its own. Prints the machine it ran on and Markdown tables of the results. Idle memory is judged
# on RSS: PSS shares each library page among the processes that map it, so any other Qt program
# running moves it.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

readonly HARNESS="$QUILLPOST_ROOT/tests/dovecot/harness.sh"
readonly BUILD="$QUILLPOST_ROOT/build"

ensure_packages "${QUILLPOST_BUILD_PACKAGES[@]}" dovecot-pop3d openssl xvfb dbus python3-dbus python3-gi
build_release ON

xvfb=
stop_all() {
    bash "$HARNESS" stop "$BUILD"
    [[ -z $xvfb ]] || kill "$xvfb"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
bash "$HARNESS" start "$BUILD"
# shellcheck disable=SC1091 # written by the harness at run time
source "$BUILD/dovecot/env"

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
say "timing checks"
printf '\nMachine: %s, %s cores, Linux %s, Dovecot %s, load average %s\n\n' \
    "$cpu" "$(nproc)" "$(uname -r)" "$(dovecot --version | cut -d' ' -f1)" "$(cut -d' ' -f1-3 /proc/loadavg)"
QT_QPA_PLATFORM=offscreen "$BUILD/bench/quillpost_bench"

# tray_run IDLE_SECONDS PROGRAM [KEY=VALUE | --OPTION...]: one start in a fresh home and session
# bus, with those settings stored and those options given to the program; prints
# "seconds_to_icon pss_kib anonymous_pss_kib rss_kib cpu_percent".
tray_run() {
    local home idle=$1 program=$2 argument settings=() options=()
    shift 2
    for argument; do
        if [[ $argument == --* ]]; then options+=("$argument"); else settings+=("$argument"); fi
    done
    home=$(mktemp -d)
    mkdir -p "$home/runtime"
    chmod 700 "$home/runtime"
    XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=offscreen \
        "$BUILD/bench/quillpost_bench" --store AlreadyRun=1 "${settings[@]}"
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=xcb \
        dbus-run-session -- /usr/bin/python3 "$QUILLPOST_ROOT/bench/tray_host.py" "$idle" "$program" "${options[@]}" 2>/dev/null
    rm -rf "$home"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

say "idle cost and start-up beside an empty tray program"
rm -f "$BUILD"/bench-starts-*
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$BUILD/bench-display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do
    grep -q '^[0-9]' "$BUILD/bench-display" 2>/dev/null && break
    sleep 0.1
done
DISPLAY=:$(head -n 1 "$BUILD/bench-display")
export DISPLAY
# Idle as a user leaves it: an account at the test Dovecot, checked at start and every 10 minutes,
# and otherwise the default settings; then the same with the sample chosen instead of the beep.
readonly ACCOUNT=("POP3Server=$QUILLPOST_DOVECOT_PLAINTEXT_HOST:$QUILLPOST_DOVECOT_PORT" UserId=alice Password=wonderland)
readonly EMPTY=$BUILD/bench/quillpost_emptytray PROGRAM=$BUILD/quillpost
# Start times, taken in turns so that a slow spell of the machine falls on all three alike.
for _ in $(seq 9); do
    tray_run 0 "$EMPTY" >>"$BUILD/bench-starts-empty"
    tray_run 0 "$PROGRAM" "${ACCOUNT[@]}" >>"$BUILD/bench-starts-program"
    tray_run 0 "$EMPTY" --window >>"$BUILD/bench-starts-window"
done
start_empty=$(median <"$BUILD/bench-starts-empty")
start_program=$(median <"$BUILD/bench-starts-program")
start_window=$(median <"$BUILD/bench-starts-window")
read -r _ pss_empty anon_empty rss_empty cpu_empty < <(tray_run 60 "$EMPTY")
read -r _ pss_window _ rss_window _ < <(tray_run 60 "$EMPTY" --window)
read -r _ pss_default anon_default rss_default cpu_default < <(tray_run 60 "$PROGRAM" "${ACCOUNT[@]}")
read -r _ pss_sample anon_sample rss_sample cpu_sample < <(tray_run 60 "$PROGRAM" "${ACCOUNT[@]}" Sound=2)
# ratio A B [LIMIT]: A / B, and whether it keeps within LIMIT when one is given.
ratio() {
    [[ -n $1 && -n $2 ]] || die "a measurement is missing"
    awk -v a="$1" -v b="$2" -v limit="${3:-}" 'BEGIN {
        r = a / b; printf "%.2f", r
        if (limit != "") printf " (≤ %s: %s)", limit, r <= limit ? "met" : "not met" }'
}
printf '\n| Idle after 60 s, start to tray icon (median of 9) | Quillpost | empty tray program | ratio |\n'
printf '| --- | --- | --- | --- |\n'
printf '| RSS, an account, default settings | %s KiB | %s KiB | %s |\n' "$rss_default" "$rss_empty" "$(ratio "$rss_default" "$rss_empty" 1.30)"
printf '| RSS, a sample chosen | %s KiB | %s KiB | %s |\n' "$rss_sample" "$rss_empty" "$(ratio "$rss_sample" "$rss_empty" 1.30)"
printf '| PSS, an account, default settings | %s KiB | %s KiB | %s |\n' "$pss_default" "$pss_empty" "$(ratio "$pss_default" "$pss_empty")"
printf '| PSS, a sample chosen | %s KiB | %s KiB | %s |\n' "$pss_sample" "$pss_empty" "$(ratio "$pss_sample" "$pss_empty")"
printf '| anonymous PSS (the heap and other private memory), an account, default settings / a sample chosen | %s KiB / %s KiB | %s KiB | |\n' \
    "$anon_default" "$anon_sample" "$anon_empty"
printf '| CPU, an account, default settings / a sample chosen | %s %% / %s %% | %s %% | |\n' "$cpu_default" "$cpu_sample" "$cpu_empty"
printf '| start to icon registered | %s s | %s s | %s |\n' "$start_program" "$start_empty" "$(ratio "$start_program" "$start_empty" 1.5)"
# What a settings window built hidden at start-up costs on its own.
printf '| the empty tray program with a hidden three-tab window: RSS / PSS / start to icon | %s KiB / %s KiB / %s s | %s KiB / %s KiB / %s s | %s / %s / %s |\n' \
    "$rss_window" "$pss_window" "$start_window" "$rss_empty" "$pss_empty" "$start_empty" \
    "$(ratio "$rss_window" "$rss_empty")" "$(ratio "$pss_window" "$pss_empty")" "$(ratio "$start_window" "$start_empty" 1.5)"
