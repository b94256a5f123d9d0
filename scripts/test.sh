#!/usr/bin/env bash
# Builds and runs the whole test suite twice: in build/, then in build-asan/ under AddressSanitizer
# and UndefinedBehaviorSanitizer; then runs the fuzz targets (scripts/fuzz.sh). Any failing test,
# sanitizer report or fuzz finding makes it exit non-zero.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

readonly HARNESS="$QUILLPOST_ROOT/tests/dovecot/harness.sh"
readonly SANITIZERS="$QUILLPOST_ROOT/tests/sanitizers"

ensure_packages "${QUILLPOST_BUILD_PACKAGES[@]}" dovecot-pop3d xvfb openssl
# The desktop test: window manager, X tray host, input and screenshots, OCR.
ensure_packages openbox trayer xdotool x11-utils imagemagick tesseract-ocr
# The desktop notification test: a notification daemon on a private session bus and X display.
ensure_packages dunst dbus-daemon
# Network links in a private namespace (as root), and a private bus standing in for logind.
ensure_packages iproute2
# The tray test's headless compositor; the sound test's recorder and private sound server. A
# desktop whose sound server is PipeWire keeps it (pulseaudio would replace pipewire-pulse): there
# the sound test says it is skipped.
ensure_packages weston pulseaudio-utils
dpkg-query -W -f='${db:Status-Status}' pipewire-pulse 2>/dev/null | grep -qx installed || ensure_packages pulseaudio
# The keyring test: GNOME Keyring's Secret Service on a private session bus, and its lookup tool.
ensure_packages gnome-keyring libsecret-tools
check_multimedia_runtime

# The test POP3 server goes down however the script ends.
server_dir=
stop_server() {
    [[ -z $server_dir ]] || bash "$HARNESS" stop "$server_dir"
    server_dir=
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# run_suite DIR [VAR=VALUE...]: runs ctest in DIR with the test POP3 server up and the given
# variables set.
run_suite() {
    local dir=$1 status=0
    shift
    server_dir=$dir
    bash "$HARNESS" start "$dir" || status=$?
    case $status in
    0) ;;
    77) server_dir= ;; # no server here: tests that need one skip themselves
    *) exit "$status" ;;
    esac
    say "testing $dir"
    (
        # shellcheck disable=SC1091 # written by the harness at run time
        if [[ -f $dir/dovecot/env ]]; then source "$dir/dovecot/env"; fi
        cd "$dir"
        env "$@" ctest --output-on-failure -j2 --no-tests=error
    )
    stop_server
    # Whole tests and single test functions that could not run here, with QtTest's reason.
    local line
    while IFS= read -r line; do
        skipped+=("$(basename "$dir"): ${line#SKIP   : }")
    done < <(grep -h '^SKIP   :' "$dir/Testing/Temporary/LastTest.log" || true)
}

# What could not run here, said at the end so that a skip is never taken for a pass.
skipped=()
report_skips() {
    if [[ ${#skipped[@]} -eq 0 ]]; then
        say "nothing was skipped"
        return
    fi
    say "skipped (${#skipped[@]}):"
    printf '    %s\n' "${skipped[@]}"
}

build_release ON
run_suite "$QUILLPOST_ROOT/build"

build_tree "$QUILLPOST_ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUILLPOST_SANITIZE=ON
run_suite "$QUILLPOST_ROOT/build-asan" \
    "ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1" \
    "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1" \
    "LSAN_OPTIONS=suppressions=$SANITIZERS/lsan.supp:print_suppressions=0"

# A report from a process whose exit status no test looks at still fails the run.
if grep -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$QUILLPOST_ROOT/build-asan/Testing/Temporary/LastTest.log"; then
    die "sanitizer reports in build-asan/Testing/Temporary/LastTest.log"
fi
bash "$QUILLPOST_ROOT/scripts/check-package.sh" "$QUILLPOST_ROOT/build"
# The program in a desktop of its own, driven through its windows and tray icon.
status=0
bash "$QUILLPOST_ROOT/tests/e2e/run.sh" "$QUILLPOST_ROOT/build" || status=$?
case $status in
0) ;;
77) skipped+=("desktop test: no test Dovecot can run here") ;;
*) exit "$status" ;;
esac

# Every fuzz target for a bounded time, also under the sanitizers.
bash "$QUILLPOST_ROOT/scripts/fuzz.sh" 30
report_skips
say "all tests passed, plain and under the sanitizers"
