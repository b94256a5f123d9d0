# shellcheck shell=bash
# Shared by run.sh and test.sh: package installation and the build. Sourced, not run.

QUILLPOST_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readonly QUILLPOST_ROOT

# What building and running the program takes on Debian 12. libqt6multimedia6 carries the
# PulseAudio output behind QSoundEffect and QMediaDevices and the media backend plugins; without a
# sound server they report no audio device, which the program copes with.
# shellcheck disable=SC2034 # used by the scripts that source this
readonly QUILLPOST_BUILD_PACKAGES=(
    cmake ninja-build g++
    qt6-base-dev qt6-multimedia-dev libqt6multimedia6
    pkg-config libglib2.0-dev # GIO's network monitor
    libfontconfig-dev # the font configuration, loaded ahead at start
    qt6-wayland # runs natively in a Wayland session, where the tray is a StatusNotifierItem host
    fonts-liberation
    ca-certificates # the authorities a POP3 server's certificate is checked against
    qtkeychain-qt6-dev libsecret-1-0 # the password in the desktop's keyring; libsecret is loaded at run time
    qt6-networkauth-dev # signing in with the browser (OAuth 2)
)

# What building and checking the Debian package takes (scripts/check-package.sh).
# shellcheck disable=SC2034 # used by the scripts that source this
readonly QUILLPOST_PACKAGE_CHECK_PACKAGES=(dpkg-dev lintian desktop-file-utils appstream)

say() { printf '==> %s\n' "$*"; }

die() {
    printf 'error: %s\n' "$*" >&2
    exit 1
}

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        die "root is needed for: $* (run as root or install sudo)"
    fi
}

# Installs those of the given Debian packages that are not installed yet.
ensure_packages() {
    if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
        die "packages are installed with apt: this needs Debian 12 or a close relative"
    fi
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed ||
            missing+=("$package")
    done
    [[ ${#missing[@]} -gt 0 ]] || return 0
    say "installing ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    # Debian starts and enables a package's system services when it is installed (Dovecot among
    # them). The tests run private servers of their own, so the install starts none (policy-rc.d)
    # and the units it enabled are disabled again: the machine runs what it ran before.
    local policy=/usr/sbin/policy-rc.d own_policy= status=0 before
    before=$(installed_packages)
    if [[ ! -e $policy ]]; then
        printf '#!/bin/sh\nexit 101\n' | as_root tee "$policy" >/dev/null
        as_root chmod 755 "$policy"
        own_policy=1
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" ||
        status=$?
    [[ -z $own_policy ]] || as_root rm -f "$policy"
    [[ $status -eq 0 ]] || die "apt-get install failed"
    # shellcheck disable=SC2046 # one package a word
    disable_services_of $(comm -13 <(echo "$before") <(installed_packages))
}

installed_packages() { dpkg-query -W -f='${db:Status-Status} ${Package}\n' | sed -n 's/^installed //p' | sort; }

# Disables the system units that the given, newly installed packages ship.
disable_services_of() {
    [[ $# -gt 0 ]] && command -v systemctl >/dev/null || return 0
    local units
    units=$(dpkg-query -L "$@" 2>/dev/null | sed -nE 's#^/(usr/)?lib/systemd/system/([^/@]+\.(service|socket))$#\2#p')
    [[ -n $units ]] || return 0
    say "disabling the system services the install enabled: $(echo $units)"
    # shellcheck disable=SC2086 # one unit a word
    as_root systemctl disable --quiet $units 2>/dev/null || true
}

# A media plugin or the library with an unresolved dependency would only show when a sound plays.
check_multimedia_runtime() {
    local files file unresolved
    files=$(dpkg-query -L libqt6multimedia6 | grep -E '/(plugins/multimedia/[^/]+|libQt6Multimedia)\.so') ||
        die "libqt6multimedia6 ships no Qt Multimedia library"
    grep -q /plugins/multimedia/ <<<"$files" || die "libqt6multimedia6 ships no media backend plugin"
    for file in $files; do
        [[ -L $file ]] && continue
        if unresolved=$(ldd "$file" | grep 'not found'); then
            die "$file cannot load: $unresolved"
        fi
    done
}

# build_tree DIR [CMAKE_ARGS...]: configures (first time) and builds DIR with Ninja.
build_tree() {
    local dir=$1
    shift
    say "building $dir"
    cmake -S "$QUILLPOST_ROOT" -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j2
}

# The program's own build, shared by run.sh and the first test run: build_release ON|OFF says
# whether the tests are built too.
build_release() {
    build_tree "$QUILLPOST_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DBUILD_TESTING=$1"
}
