#pragma once

// Reading burned-in results back with the FFmpeg programs, and the fixtures they are made from.
#include "BCMediaOpener.h"
#include "BurnIn.h"
#include "MediaFixtures.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace BurnInSupport {

// What ffprobe says about a file's first video and first sound stream.
struct Probe {
    bool ok = false;
    int width = 0;
    int height = 0;
    QString videoCodec;
    QString profile;
    QString pixelFormat;
    QString frameRate; // r_frame_rate, "30/1"
    int frames = 0;    // counted by decoding
    double duration = 0;
    QString audioCodec; // empty without sound
    int audioChannels = 0;
    long long audioBitRate = 0;
    int rotation = 0;
    bool indexFirst = false; // the moov box comes before the mdat box
};
Probe probe(const QString& path);

// Every decoded picture of the first video stream as 8-bit luma planes (ffmpeg turns rotated
// sources upright), in decoding order.
struct Frames {
    int width = 0;
    int height = 0;
    std::vector<QByteArray> luma;
};
Frames lumaFrames(const QString& path, int width, int height);

// The first sound stream as mono 16-bit samples at `rate`.
std::vector<qint16> samples(const QString& path, int rate);

// The raw packets of the first sound stream, concatenated.
QByteArray soundPackets(const QString& path);

// Peak signal-to-noise ratio (dB) of two luma planes over the pixels where `inside` says
// whether a pixel counts (all when empty); infinity when equal.
double psnr(const QByteArray& a, const QByteArray& b, int width,
            const std::function<bool(int x, int y)>& counts = {});

// Opens a file the way the window does; fails the test on an error.
BCOpenedMedia open(const QString& path);

// ffmpeg with the given arguments (quiet, overwriting); fails the test when it fails.
bool make(const QStringList& arguments);

} // namespace BurnInSupport
