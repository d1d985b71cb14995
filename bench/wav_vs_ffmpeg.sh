#!/usr/bin/env bash
# The sound track read for the recognisers against the ffmpeg program, in one run on the same
# 60-minute AAC file: `lorowen-cli wav FILE OUT.wav` (16 000 samples per second, mono, 16-bit)
# against `ffmpeg -i FILE -ac 1 -ar 16000 -c:a pcm_s16le -y OUT.wav`, both writing to the same
# disk. Then the waveform read's peak memory with bench_waveform_rss on the same file.
#
#   bench/wav_vs_ffmpeg.sh [build folder]   (default: build; a Release/RelWithDebInfo build)
#
# Generates a 60-minute 44.1 kHz stereo AAC file (two tones over pink noise, 128 kb/s, about a
# minute of work), times each program three times, alternating, and keeps the fastest run of
# each. Prints both times and the ratio ours/ffmpeg (the bar is at most 1.0), then the waveform
# read's peak resident memory (the bar is under 120 MB). Set BENCH_KEEP=folder to keep the
# generated file in that folder and reuse it on the next run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cli=$build/app/lorowen-cli
rss=$build/bench/bench_waveform_rss
for program in "$cli" "$rss"; do
    [[ -x "$program" ]] || { echo "no $program (build lorowen-cli and bench_waveform_rss)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The converter cache of this run stays in the temporary folder.
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

store=${BENCH_KEEP:-$work}
mkdir -p "$store"
talk=$store/talk-60min.m4a
if [[ ! -s "$talk" ]]; then
    echo "generating a 60-minute AAC file…" >&2
    ffmpeg -nostdin -y -loglevel error \
        -f lavfi -i "sine=frequency=220:sample_rate=44100:duration=3600" \
        -f lavfi -i "sine=frequency=347:sample_rate=44100:duration=3600" \
        -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:amplitude=0.05:duration=3600" \
        -filter_complex "[2]asplit[n1][n2];[0][n1]amix=inputs=2:normalize=0[l];[1][n2]amix=inputs=2:normalize=0[r];[l][r]join=inputs=2:channel_layout=stereo[a]" \
        -map "[a]" -c:a aac -b:a 128k "$talk.part.m4a"
    mv "$talk.part.m4a" "$talk"
fi

# Wall-clock nanoseconds of one run.
took() {
    local start
    start=$(date +%s%N)
    "$@" >/dev/null
    echo $(($(date +%s%N) - start))
}

ours=0 theirs=0
for _ in 1 2 3; do
    t=$(took "$cli" wav "$talk" "$work/ours.wav")
    ((ours == 0 || t < ours)) && ours=$t
    t=$(took ffmpeg -nostdin -loglevel error -i "$talk" -ac 1 -ar 16000 -c:a pcm_s16le -y "$work/theirs.wav")
    ((theirs == 0 || t < theirs)) && theirs=$t
done

LC_ALL=C awk -v ours="$ours" -v theirs="$theirs" 'BEGIN {
    printf "lorowen-cli wav (16 kHz): %.3f s\n", ours / 1e9
    printf "ffmpeg -ac 1 -ar 16000:   %.3f s\n", theirs / 1e9
    printf "ratio ours/ffmpeg:        %.2f (bar: at most 1.0)\n", ours / theirs
}'
"$rss" "$talk"
