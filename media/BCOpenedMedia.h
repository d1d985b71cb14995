#pragma once

#include <QSize>
#include <QTransform>
#include <QUrl>

// An opened media file and its facts. `original` is the file the user chose; `playable` is the
// file actually played, a converted copy when `converted` is set.
struct BCOpenedMedia {
    QUrl original;
    QUrl playable;
    double duration = 0; // seconds
    bool hasVideo = false;
    bool hasAudio = false;
    QSize naturalSize;
    QTransform preferredTransform;
    double nominalFrameRate = 0; // 0 when unknown
    bool converted = false;
    QString note;
};
