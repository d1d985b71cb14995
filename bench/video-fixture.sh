# Sourced by the video benchmarks: `video_fixture PATH` writes a 60-second 1080p30 H.264/AAC
# file (colour bars with a tone) to PATH unless it is already there.
video_fixture() {
    local path=$1
    [[ -s "$path" ]] && return 0
    echo "generating a 60-second 1080p30 H.264/AAC file…" >&2
    ffmpeg -nostdin -y -loglevel error \
        -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=60" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" \
        -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p \
        -c:a aac -b:a 192k -ac 2 -shortest "$path.part.mp4"
    mv "$path.part.mp4" "$path"
}
