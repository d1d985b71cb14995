#!/usr/bin/env bash
# Builds the Debian package of the build folder given as $1, unpacks it into a temporary root,
# runs both programs' --version from there, checks the helper, desktop entry, icon and AppStream
# metadata are inside, and runs lintian (when installed) expecting no errors.
set -euo pipefail
build=$(cd "${1:?usage: package-test.sh BUILD_DIR}" && pwd)
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[[ -n $version ]] || { echo "no package version in $build/CPackConfig.cmake" >&2; exit 1; }
deb=$build/lorowen-pro_${version}_amd64.deb

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

rm -f "$deb"
(cd "$build" && cpack --config CPackConfig.cmake >"$root.cpack.log" 2>&1) || {
    cat "$root.cpack.log" >&2
    rm -f "$root.cpack.log"
    exit 1
}
rm -f "$root.cpack.log"
[[ -f $deb ]] || { echo "cpack did not write $deb" >&2; exit 1; }
echo "built $deb ($(du -h "$deb" | cut -f1))"

dpkg-deb -x "$deb" "$root"
fail() { echo "FAIL: $*" >&2; exit 1; }

for program in lorowen lorowen-cli; do
    [[ -L $root/usr/bin/$program ]] || fail "usr/bin/$program is not a link"
    # Without a display: the version must not need one.
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/$program" --version) ||
        fail "$program --version failed"
    [[ $out == "$program $version" ]] || fail "$program --version printed \"$out\""
    echo "$out"
done

helper=$root/usr/lib/lorowen-pro/helpers/whisper-cli
[[ -x $helper ]] || fail "no executable helpers/whisper-cli"
[[ $("$helper" --version 2>&1) == *"whisper.cpp version"* ]] ||
    fail "the packaged whisper-cli does not run"
# The graphics-card variant, when the build machine could make it.
if [[ -x $build/package-helpers/whisper-cli-vulkan ]]; then
    [[ $("$root/usr/lib/lorowen-pro/helpers/whisper-cli-vulkan" --version 2>&1) == *"whisper.cpp version"* ]] ||
        fail "the packaged whisper-cli-vulkan does not run"
fi
for f in usr/share/applications/lorowen.desktop \
    usr/share/icons/hicolor/scalable/apps/lorowen.svg \
    usr/share/metainfo/com.brindlecote.lorowenpro.metainfo.xml \
    usr/share/doc/lorowen-pro/copyright usr/share/doc/lorowen-pro/changelog.gz; do
    [[ -s $root/$f ]] || fail "$f is missing"
done

depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libavformat59 ffmpeg libpocketsphinx3 pocketsphinx-en-us libqt6keychain1 \
    libfftw3-single3 fonts-dejavu-core libvulkan1; do
    [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends does not name $p"
done

if command -v lintian >/dev/null; then
    report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' || true)
    [[ -z $report ]] || printf '%s\n' "$report"
    if grep -q '^E:' <<<"$report"; then
        fail "lintian reports errors"
    fi
    echo "lintian: $(grep -c '^E:' <<<"$report" || true) errors, $(grep -c '^W:' <<<"$report" || true) warnings"
else
    echo "lintian is not installed; skipped (scripts/setup installs it)"
fi
