#pragma once

#include "BCOpenedMedia.h"
#include "BurnIn.h"
#include "Caption.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <stop_token>

// A copy of a video with the captions as one switchable text subtitle track (3GPP timed text,
// "tx3g", FFmpeg's mov_text), in an MP4 or a QuickTime movie. Picture and sound are copied
// packet by packet, never decoded. Stateless functions.
namespace SoftSubs {

// One sample of the subtitle track: `text` shown from `start` for `duration` seconds (whole
// milliseconds). An empty text shows nothing.
struct Cue {
    QString text;
    double start = 0;
    double duration = 0;

    friend bool operator==(const Cue&, const Cue&) = default;
};
using Cues = QList<Cue>;

// The most UTF-8 bytes one sample can carry (its length field has 16 bits).
constexpr qsizetype maxTextBytes = 65535;

// The cues that cover 0..`duration` (seconds) without gaps or overlaps: the tidied captions with
// times rounded to milliseconds, cut at the duration, texts trimmed, and empty cues in the gaps
// longer than half a millisecond. A caption that would start before the previous one ends starts
// at its end (and is left out when nothing of it remains); a text longer than `maxTextBytes`
// UTF-8 bytes is cut after the last whole character that fits. Pure.
Cues cues(const Captions& captions, double duration);

// The 68-byte 3GPP text sample entry ("tx3g": centred at the bottom, white 18-point Helvetica on
// a transparent background), big-endian, from its size field on.
QByteArray textDescription();

// One subtitle sample: the 16-bit big-endian UTF-8 byte count, then the bytes. The text must
// already fit (cues() sees to that).
QByteArray sample(const Cue& cue);

// Whether `path` names the container QuickTime movie (extension "mov" in any case) rather than
// MPEG-4.
bool isMov(const QString& path);

// A fraction 0..1; called on the exporting thread.
using Progress = std::function<void(double fraction)>;

// Writes `media` (its `asset.path`, with `duration`) and the captions to `destination`: every
// video and then every audio stream copied as stored, and one subtitle track (language "eng",
// enabled, following the first video track). Progress goes from 0 to at most 0.99 with the copy,
// then to exactly 1 once the file is in place. The file is written beside the destination under
// a temporary name and moved over it only on success, so a failure or a stop leaves an existing
// file untouched and nothing new behind.
//
// `stop` stops it (heard by FFmpeg's reads and writes and between packets). Blocking: call it on a
// worker thread. Throws BCError with the user's sentence, BCCancelled after a stop.
void exportVideo(const BCOpenedMedia& media, const Captions& captions, const QString& destination,
                 const Progress& progress = {}, std::stop_token stop = {});

} // namespace SoftSubs
