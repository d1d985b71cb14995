#!/usr/bin/env bash
# The burned-in export against the ffmpeg program, in one run on the same generated file: a
# 60-second 1080p30 H.264/AAC video with 30 two-line captions.
#
#   lorowen-cli burn IN CAPS.srt OUT.mp4
#   ffmpeg -i IN -vf subtitles=CAPS.srt -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p \
#          -c:a copy -movflags +faststart OUT.mp4
#
#   bench/burn_vs_ffmpeg.sh [build folder]   (default: build; a Release/RelWithDebInfo build)
#
# Both encode the same picture the same way (libx264, CRF 18, preset medium, automatic threads);
# ours blends pre-drawn caption images where ffmpeg's filter renders the text for every frame.
# Times each program BENCH_RUNS times (default 1), alternating, keeps the fastest of each, and
# prints both times (wall and processor) and the ratios ours/ffmpeg (the bar is at most 1.0). When this ffmpeg has no
# `subtitles` filter (it needs libass), the comparison uses one drawtext filter per caption
# instead and says so. Set BENCH_KEEP=folder to keep the generated file and reuse it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=video-fixture.sh
source "$here/bench/video-fixture.sh"
build=${1:-$here/build}
cli=$build/app/lorowen-cli
[[ -x "$cli" ]] || { echo "no $cli (build lorowen-cli)" >&2; exit 2; }
runs=${BENCH_RUNS:-1}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

store=${BENCH_KEEP:-$work}
mkdir -p "$store"
video=$store/video-60s-1080p30.mp4
video_fixture "$video"

# 30 two-line captions, one every 2 s, each shown for 1.8 s.
caps=$work/caps.srt
: >"$caps"
for i in $(seq 0 29); do
    printf '%d\n00:00:%02d,000 --> 00:00:%02d,800\nCaption number %d of thirty, line one\nand its second line of text\n\n' \
        $((i + 1)) $((2 * i)) $((2 * i + 1)) $((i + 1)) >>"$caps"
done

filter="subtitles=$caps"
peer="ffmpeg -vf subtitles"
# Read the whole list first: `grep -q` closing the pipe early would fail the pipeline.
filters=$(ffmpeg -hide_banner -filters 2>/dev/null || true)
if ! grep -qE '^ *[.A-Z|]+ +subtitles ' <<<"$filters"; then
    echo "this ffmpeg has no subtitles filter (libass); comparing with drawtext instead" >&2
    font=$(fc-match -f '%{file}' 'sans:bold' 2>/dev/null || true)
    filter=""
    for i in $(seq 0 29); do
        [[ -n "$filter" ]] && filter+=","
        filter+="drawtext=fontfile=$font:text='Caption number $((i + 1)) of thirty':fontsize=56:fontcolor=white:box=1:boxcolor=black@0.72:x=(w-tw)/2:y=h-th-76:enable='between(t,$((2 * i)),$((2 * i + 1)).8)'"
    done
    peer="ffmpeg -vf drawtext (x30)"
fi

# One run: "wall user+system" seconds. The processor time is steadier than the wall time on a
# machine that others share.
took() {
    /usr/bin/time -o "$work/time.txt" -f '%e %U %S' "$@" >/dev/null 2>&1
    LC_ALL=C awk 'END { printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time.txt"
}

ours=(0 0) theirs=(0 0)
for _ in $(seq "$runs"); do
    rm -f "$work/ours.mp4" "$work/theirs.mp4"
    read -r wall cpu < <(took "$cli" burn "$video" "$caps" "$work/ours.mp4" --style Broadcast)
    ours=($(LC_ALL=C awk -v a="${ours[0]}" -v b="$wall" 'BEGIN { print (a == 0 || b < a) ? b : a }') \
          $(LC_ALL=C awk -v a="${ours[1]}" -v b="$cpu" 'BEGIN { print (a == 0 || b < a) ? b : a }'))
    read -r wall cpu < <(took ffmpeg -nostdin -loglevel error -y -i "$video" -vf "$filter" \
        -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -c:a copy -movflags +faststart \
        "$work/theirs.mp4")
    theirs=($(LC_ALL=C awk -v a="${theirs[0]}" -v b="$wall" 'BEGIN { print (a == 0 || b < a) ? b : a }') \
            $(LC_ALL=C awk -v a="${theirs[1]}" -v b="$cpu" 'BEGIN { print (a == 0 || b < a) ? b : a }'))
done
[[ -s "$work/ours.mp4" && -s "$work/theirs.mp4" ]] || { echo "a run wrote nothing" >&2; exit 1; }

LC_ALL=C awk -v ow="${ours[0]}" -v oc="${ours[1]}" -v tw="${theirs[0]}" -v tc="${theirs[1]}" \
    -v peer="$peer" -v a="$(stat -c %s "$work/ours.mp4")" -v b="$(stat -c %s "$work/theirs.mp4")" 'BEGIN {
    printf "lorowen-cli burn:  %.2f s wall, %.2f s processor  (%.1f MB)\n", ow, oc, a / 1e6
    printf "%s: %.2f s wall, %.2f s processor  (%.1f MB)\n", peer, tw, tc, b / 1e6
    printf "ratio ours/ffmpeg: %.3f wall, %.3f processor (bar: at most 1.0)\n", ow / tw, oc / tc
}'
