#pragma once

#include <QSize>
#include <QString>
#include <QTransform>
#include <stop_token>
#include <vector>

// An asset: what the media framework knows about one file, loaded once by `load` and
// kept as a plain value (cheap to copy, no open handle), so BCOpenedMedia can carry it and any
// thread can read it. Times are seconds.

struct BCVideoTrack {
    enum class Scan { unknown, progressive, interlaced };

    QSize naturalSize;    // displayed size before the transform: coded size × pixel aspect
    QSize codedSize;      // pixels as stored
    QTransform transform; // the stream's display matrix; identity without one
    double frameRate = 0; // nominal frames per second; 0 when unknown
    QString codec;        // FFmpeg's codec name: "h264", "hevc", "mpeg4", "mpeg2video", …
    Scan scan = Scan::unknown;
};

struct BCAudioTrack {
    QString codec; // FFmpeg's codec name: "aac", "mp3", "ac3", "pcm_s16le", …
    int sampleRate = 0;
    int channels = 0;
    double start = 0; // seconds from the file's start to the track's first sample; never negative
};

struct BCAsset {
    QString path;          // the local file the asset was opened on
    bool readable = false; // opened, and a decoder exists for the first video and sound track
    double duration = 0;   // seconds; NaN when the file does not say
    std::vector<BCVideoTrack> videoTracks; // attached pictures (cover art) are not tracks
    std::vector<BCAudioTrack> audioTracks;

    // Opens `path` and loads its duration, tracks and their properties. Throws BCError with the
    // internal message "not readable" (FFmpeg's reason in `detail`) when the file cannot be opened
    // as media at all, BCCancelled when `stop` fires. Blocking; any thread.
    static BCAsset load(const QString& path, std::stop_token stop = {});

    // How the first video track of `path` is scanned, judged from its first decoded pictures
    // (the container and stream headers often don't say): interlaced when any of them is, else
    // progressive; unknown when no picture decodes. Blocking; any thread.
    static BCVideoTrack::Scan probeScan(const QString& path, std::stop_token stop = {});
};
