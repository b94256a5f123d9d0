#!/usr/bin/env bash
# Builds build/ (RelWithDebInfo), starts the test Dovecot, and times whole checks against it beside
# a bare POP3 client, plus the CPU used while a check waits on a silent server. Prints the machine
# it ran on and a Markdown table of the results.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

readonly HARNESS="$QUILLPOST_ROOT/tests/dovecot/harness.sh"
readonly BUILD="$QUILLPOST_ROOT/build"

ensure_packages "${QUILLPOST_BUILD_PACKAGES[@]}" dovecot-pop3d openssl
build_release ON

trap 'bash "$HARNESS" stop "$BUILD"' EXIT
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
