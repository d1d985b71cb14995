#pragma once

#include "BCAsset.h"

#include <QSize>
#include <QString>
#include <QTransform>
#include <QUrl>

// An opened media file and its facts. `original` is the file the user chose;
// `playable` is the file actually played and read, a converted copy when `converted` is set;
// `asset` is what was loaded from `playable`. A plain value, safe to copy between threads.
struct BCOpenedMedia {
    QUrl original;
    QUrl playable;
    BCAsset asset;
    double duration = 0; // seconds, finite and > 0 once opened
    bool hasVideo = false;
    bool hasAudio = false;
    QSize naturalSize{0, 0};       // displayed size after the transform; (0, 0) without video
    QTransform preferredTransform; // the first video track's; identity without video
    double nominalFrameRate = 30;  // the first video track's, or 30 when unknown or no video
    bool converted = false;
    QString note; // status note for the user; may be empty
};
