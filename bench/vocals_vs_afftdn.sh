#!/usr/bin/env bash
# Song mode's signal processing against FFmpeg's own spectral denoiser, in one run on the same
# file: `lorowen-cli vocals` (stereo read, centre isolation, noise gate, WAV write) against
# `ffmpeg -i FILE -af afftdn -f null -` (decode, one denoising pass, no output).
#
#   bench/vocals_vs_afftdn.sh [path/to/lorowen-cli]   (default: build-dsp-rel/app/lorowen-cli)
#
# Generates a 3-minute 16 kHz stereo WAV (a centre melody sung in phrases, a side instrument,
# a steady noise bed), times each program three times and keeps the fastest run of each. Prints
# both times, the ratio ours/ffmpeg (the bar is at most 1.0) and our time per minute of audio.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$here/build-dsp-rel/app/lorowen-cli}
[[ -x "$cli" ]] || { echo "no lorowen-cli at $cli (build a Release one first)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
song=$work/song.wav
minutes=3
ffmpeg -nostdin -y -loglevel error -f lavfi -i \
    "aevalsrc=0.3*sin(2*PI*(300+100*floor(mod(t\,4)))*t)*lt(mod(t\,1)\,0.6)+0.2*sin(2*PI*1500*t)+0.05*random(0)|0.3*sin(2*PI*(300+100*floor(mod(t\,4)))*t)*lt(mod(t\,1)\,0.6)+0.05*random(1):s=16000:d=$((minutes * 60))" \
    -c:a pcm_s16le "$song"

# Fastest of three wall-clock runs of the command, in nanoseconds.
fastest() {
    local best=0 start took
    for _ in 1 2 3; do
        start=$(date +%s%N)
        "$@" >/dev/null
        took=$(($(date +%s%N) - start))
        ((best == 0 || took < best)) && best=$took
    done
    echo "$best"
}

ours=$(fastest "$cli" vocals "$song" "$work/vocals.wav")
theirs=$(fastest ffmpeg -nostdin -loglevel error -i "$song" -af afftdn -f null -)

LC_ALL=C awk -v ours="$ours" -v theirs="$theirs" -v minutes="$minutes" 'BEGIN {
    printf "lorowen-cli vocals: %.3f s\n", ours / 1e9
    printf "ffmpeg afftdn:      %.3f s\n", theirs / 1e9
    printf "ratio ours/ffmpeg:  %.2f (bar: at most 1.0)\n", ours / theirs
    printf "ours per minute of audio: %.3f s\n", ours / 1e9 / minutes
}'
