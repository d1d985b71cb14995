#!/usr/bin/env bash
# The subtitle-track export against the ffmpeg program and against copying the file, in one run
# on the same 60-second 1080p30 H.264/AAC file with 30 two-line captions:
#   `lorowen-cli subtrack IN CAPS.srt OUT.mp4`
#   `ffmpeg -i IN -i CAPS.srt -map 0 -map 1 -c copy -c:s mov_text OUT.mp4`
#   `cp IN OUT.mp4` (the limit a stream copy approaches)
# all writing to the same disk.
#
#   bench/subtrack_vs_ffmpeg.sh [build folder]   (default: build; a Release/RelWithDebInfo build)
#
# Generates the file (about a minute of encoding), times each command five times, alternating,
# and keeps the fastest run of each. Prints the three times, the ratio ours/ffmpeg (the bar is at
# most 1.0) and the ratio ours/cp. Set BENCH_KEEP=folder to keep the generated file in that
# folder and reuse it on the next run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=video-fixture.sh
source "$here/bench/video-fixture.sh"
build=${1:-$here/build}
cli=$build/app/lorowen-cli
[[ -x "$cli" ]] || { echo "no $cli (build lorowen-cli)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

store=${BENCH_KEEP:-$work}
mkdir -p "$store"
clip=$store/video-60s-1080p30.mp4
video_fixture "$clip"

caps=$work/caps.srt
for i in $(seq 0 29); do
    printf '%d\n00:%02d:%02d,250 --> 00:%02d:%02d,750\nCaption number %d, the first line\nand its second line\n\n' \
        $((i + 1)) $((i * 2 / 60)) $((i * 2 % 60)) $((i * 2 / 60)) $(((i * 2 + 1) % 60)) $((i + 1))
done >"$caps"

# Wall-clock nanoseconds of one run.
took() {
    local start
    start=$(date +%s%N)
    "$@" >/dev/null
    echo $(($(date +%s%N) - start))
}

ours=0 theirs=0 copy=0
for _ in 1 2 3 4 5; do
    rm -f "$work/ours.mp4" "$work/theirs.mp4" "$work/copy.mp4"
    t=$(took "$cli" subtrack "$clip" "$caps" "$work/ours.mp4")
    ((ours == 0 || t < ours)) && ours=$t
    t=$(took ffmpeg -nostdin -loglevel error -y -i "$clip" -i "$caps" -map 0 -map 1 -c copy \
        -c:s mov_text "$work/theirs.mp4")
    ((theirs == 0 || t < theirs)) && theirs=$t
    t=$(took cp "$clip" "$work/copy.mp4")
    ((copy == 0 || t < copy)) && copy=$t
done

size=$(stat -c %s "$clip")
LC_ALL=C awk -v ours="$ours" -v theirs="$theirs" -v copy="$copy" -v size="$size" 'BEGIN {
    printf "source: %.1f MB\n", size / 1e6
    printf "lorowen-cli subtrack:        %.3f s\n", ours / 1e9
    printf "ffmpeg -c copy -c:s mov_text: %.3f s\n", theirs / 1e9
    printf "cp:                          %.3f s\n", copy / 1e9
    printf "ratio ours/ffmpeg:           %.2f (bar: at most 1.0)\n", ours / theirs
    printf "ratio ours/cp:               %.2f\n", ours / copy
}'
