#!/bin/sh
# A stand-in for whisper-cli in tests. Records its process id, arguments and the run folder's mode in
# $FAKE_DIR, prints $FAKE_DIR/stdout and $FAKE_DIR/stderr, copies $FAKE_DIR/json to the result,
# then exits with $FAKE_EXIT. FAKE_MODE=hang waits to be terminated; FAKE_MODE=stubborn ignores
# the terminate signal and has to be killed.
prev=""
for a in "$@"; do
    [ "$prev" = "-of" ] && out="$a"
    [ "$prev" = "-f" ] && wav="$a"
    prev="$a"
done
# Ignoring starts before the arguments appear: tests take that file as the sign to stop the run.
[ "$FAKE_MODE" = stubborn ] && trap '' TERM
echo $$ > "$FAKE_DIR/pid"
printf '%s\n' "$@" > "$FAKE_DIR/args"
stat -c %a "$(dirname "$wav")" > "$FAKE_DIR/mode"
[ -s "$wav" ] && echo yes > "$FAKE_DIR/wav"
[ -f "$FAKE_DIR/stdout" ] && cat "$FAKE_DIR/stdout"
[ -f "$FAKE_DIR/stderr" ] && cat "$FAKE_DIR/stderr" >&2
[ -f "$FAKE_DIR/json" ] && cp "$FAKE_DIR/json" "$out.json"
if [ "$FAKE_MODE" = hang ]; then
    exec sleep 30
fi
if [ "$FAKE_MODE" = stubborn ]; then
    while :; do
        sleep 0.1
    done
fi
exit "${FAKE_EXIT:-0}"
