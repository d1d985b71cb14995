#!/usr/bin/env bash
# Peak resident memory of the burned-in export as the number of captions grows, next to the
# ffmpeg program on the same work: a 1080p30 H.264/AAC video (BENCH_SECONDS long, default 60)
# with 100, 1,000 and 2,000 two-line captions spread evenly over it.
#
#   lorowen-cli burn IN CAPS.srt OUT.mp4
#   ffmpeg -i IN -vf subtitles=CAPS.srt -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p \
#          -c:a copy -movflags +faststart OUT.mp4
#
#   bench/burn_memory.sh [build folder]   (default: build)
#
# Peak memory is the maximum resident set size reported by /usr/bin/time -v. Prints one line per
# caption count and the growth of our peak from the fewest to the most captions (bar: at most
# 10 %, and below ffmpeg's peak at every count). Set BENCH_COUNTS="100 1000 2000" to choose the
# counts.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cli=$build/app/lorowen-cli
[[ -x "$cli" ]] || { echo "no $cli (build lorowen-cli)" >&2; exit 2; }
seconds=${BENCH_SECONDS:-60}
counts=${BENCH_COUNTS:-100 1000 2000}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

video=$work/video.mp4
echo "generating a ${seconds}-second 1080p30 H.264/AAC file…" >&2
ffmpeg -nostdin -y -loglevel error \
    -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$seconds" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
    -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p \
    -c:a aac -b:a 192k -ac 2 -shortest "$video"

# N captions, one every seconds/N, each shown for 90 % of its slot.
captions() {
    LC_ALL=C awk -v n="$1" -v total="$seconds" 'function ts(t,  h, m, s, ms) {
        ms = int(t * 1000 + 0.5); h = int(ms / 3600000); ms -= h * 3600000
        m = int(ms / 60000); ms -= m * 60000; s = int(ms / 1000); ms -= s * 1000
        return sprintf("%02d:%02d:%02d,%03d", h, m, s, ms)
    }
    BEGIN {
        slot = total / n
        for (i = 0; i < n; i++) {
            printf "%d\n%s --> %s\nCaption number %d, the first of its two lines\nand its second line of text\n\n",
                i + 1, ts(i * slot), ts(i * slot + 0.9 * slot), i + 1
        }
    }' >"$2"
}

# Peak resident memory of one command, in MB.
peak() {
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    LC_ALL=C awk -F: '/Maximum resident set size/ { printf "%.0f\n", $2 / 1024 }' "$work/time.txt"
}

first=""
last=""
for n in $counts; do
    caps=$work/caps-$n.srt
    captions "$n" "$caps"
    rm -f "$work/ours.mp4" "$work/theirs.mp4"
    ours=$(peak "$cli" burn "$video" "$caps" "$work/ours.mp4" --style Broadcast)
    theirs=$(peak ffmpeg -nostdin -loglevel error -y -i "$video" -vf "subtitles=$caps" \
        -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -c:a copy -movflags +faststart \
        "$work/theirs.mp4")
    printf '%5d captions: lorowen-cli burn %5d MB peak, ffmpeg -vf subtitles %5d MB peak\n' \
        "$n" "$ours" "$theirs"
    [[ -z "$first" ]] && first=$ours
    last=$ours
done
LC_ALL=C awk -v a="$first" -v b="$last" 'BEGIN {
    printf "growth of our peak from the fewest to the most captions: %.1f %% (bar: at most 10 %%)\n",
        100 * (b - a) / a
}'
