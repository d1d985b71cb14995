#!/usr/bin/env bash
# Peak resident memory of song mode (`lorowen-cli vocals`: stereo read, centre isolation, noise
# gate, WAV write) on long stereo recordings: 44.1 kHz 16-bit stereo WAV files of 1 and 2 hours
# (a centre melody sung in phrases, a side instrument, a steady noise bed; one generated minute
# repeated), made with the ffmpeg program and removed after their run.
#
#   bench/vocals_memory.sh [build folder]   (default: build)
#
# Peak memory is the maximum resident set size reported by /usr/bin/time -v. Prints one line per
# length, then the growth per extra hour (bars: below 400 MB for one hour, less than 150 MB more
# per extra hour). BENCH_HOURS="1 2" chooses the lengths; the recordings take about 635 MB of disk
# per hour in a temporary folder (TMPDIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cli=$build/app/lorowen-cli
[[ -x "$cli" ]] || { echo "no $cli (build lorowen-cli)" >&2; exit 2; }
hours=${BENCH_HOURS:-1 2}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

minute=$work/minute.wav
ffmpeg -nostdin -y -loglevel error -f lavfi -i \
    "aevalsrc=0.3*sin(2*PI*(300+100*floor(mod(t\,4)))*t)*lt(mod(t\,1)\,0.6)+0.2*sin(2*PI*1500*t)+0.05*random(0)|0.3*sin(2*PI*(300+100*floor(mod(t\,4)))*t)*lt(mod(t\,1)\,0.6)+0.05*random(1):s=44100:d=60" \
    -c:a pcm_s16le "$minute"

# Peak resident memory of one command, in MB.
peak() {
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    LC_ALL=C awk -F: '/Maximum resident set size/ { printf "%.0f\n", $2 / 1024 }' "$work/time.txt"
}

first=""
firstHours=""
last=""
lastHours=""
for h in $hours; do
    song=$work/song-${h}h.wav
    echo "generating ${h} h of 44.1 kHz stereo…" >&2
    ffmpeg -nostdin -y -loglevel error -stream_loop -1 -i "$minute" -t $((h * 3600)) \
        -c:a pcm_s16le "$song"
    ours=$(peak "$cli" vocals "$song" "$work/vocals.wav")
    rm -f "$song" "$work/vocals.wav"
    printf '%d h stereo 44.1 kHz: lorowen-cli vocals %5d MB peak RSS\n' "$h" "$ours"
    if [[ -z "$first" ]]; then
        first=$ours
        firstHours=$h
    fi
    last=$ours
    lastHours=$h
done
if ((lastHours > firstHours)); then
    LC_ALL=C awk -v a="$first" -v b="$last" -v ha="$firstHours" -v hb="$lastHours" 'BEGIN {
        printf "growth per extra hour: %.0f MB (bars: below 400 MB at 1 h, below 150 MB per hour)\n",
            (b - a) / (hb - ha)
    }'
fi
