#!/usr/bin/env bash
# check-package.sh [BUILD_DIR]: builds the Debian package from a built tree (build/ by default),
# checks it with lintian and the desktop validators, and starts the unpacked program to see that it
# finds its default sample beside it.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

build_dir=$(realpath "${1:-$QUILLPOST_ROOT/build}")
readonly build_dir
readonly app_id=org.example.quillpost.Quillpost

ensure_packages "${QUILLPOST_PACKAGE_CHECK_PACKAGES[@]}"

work=$(realpath "$(mktemp -d)")
program=
cleanup() {
    if [[ -n $program ]]; then kill "$program" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

say "packaging $build_dir"
rm -f "$build_dir"/quillpost_*.deb
(cd "$build_dir" && cpack -G DEB >"$work/cpack.log") || {
    cat "$work/cpack.log"
    die "cpack failed"
}
debs=("$build_dir"/quillpost_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || die "cpack made no single quillpost_*.deb"
readonly deb=${debs[0]}

say "lintian $(basename "$deb")"
lintian --fail-on error --info "$deb" || die "lintian reports errors"

say "contents"
listing=$(dpkg-deb -c "$deb")
for path in usr/libexec/quillpost/quillpost usr/libexec/quillpost/quillpost-sound usr/libexec/quillpost/Mailtrill.wav \
    "usr/bin/quillpost -> ../libexec/quillpost/quillpost" \
    usr/share/applications/$app_id.desktop usr/share/metainfo/$app_id.metainfo.xml \
    usr/share/icons/hicolor/{16x16,22x22,32x32,48x48}/apps/quillpost.png \
    usr/share/icons/hicolor/scalable/apps/quillpost.svg \
    usr/share/man/man1/quillpost.1.gz usr/share/doc/quillpost/copyright; do
    grep -qF " ./$path" <<<"$listing" || die "the package lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in qt6-qpa-plugins libqt6multimedia6 fonts-liberation libqt6keychain1 libsecret-1-0 libglib2.0-0; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || die "the package does not depend on $package"
done

dpkg-deb -x "$deb" "$work/root"
say "validating the desktop entry and the metainfo"
desktop-file-validate "$work/root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app_id.metainfo.xml"

say "starting the unpacked program"
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
    XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/runtime \
    QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="quillpost.*=true" \
    "$work/root/usr/bin/quillpost" >"$work/program.log" 2>&1 &
program=$!
# Reached through the link in bin/, the program must still look for the sample in its real folder.
expected="quillpost.startup: sound sample $work/root/usr/libexec/quillpost/Mailtrill.wav (default, found)"
for _ in $(seq 50); do
    grep -qF "$expected" "$work/program.log" && break
    kill -0 "$program" 2>/dev/null || break
    sleep 0.2
done
# It is a tray program: it has to stay up, not just log and fall over.
sleep 3
if ! kill -0 "$program" 2>/dev/null; then
    cat "$work/program.log"
    die "the unpacked program ended on its own"
fi
kill "$program"
wait "$program" 2>/dev/null || true
program=
cat "$work/program.log"
grep -qF "$expected" "$work/program.log" || die "the unpacked program did not find its default sample"
say "package $(basename "$deb") checked"
