#pragma once

#include <QByteArrayView>
#include <QString>

// A file's container kind, recognised from a file's first bytes whatever its extension says.
class BCContainer {
public:
    enum Kind {
        mpegProgram,
        mpegTransport,
        mpegVideo,
        mp4,
        wavAvi,
        aiff,
        mp3,
        matroska,
        windowsMedia,
        flash,
        unknown,
    };

    constexpr BCContainer(Kind kind = unknown) : m_kind(kind) {}
    constexpr operator Kind() const { return m_kind; }

    // "MPEG program stream", "MP4/MOV", … "unknown".
    QString rawValue() const;
    // The kinds the player cannot take as they are and that always go to the converter.
    bool needsConversion() const;

    // The kind of these bytes (the first 1 024 of a file, or fewer when it is shorter). Pure.
    static BCContainer sniff(QByteArrayView bytes);
    // The kind of the file at `path` from its first 1 024 bytes; `unknown` when it can't be read.
    static BCContainer sniff(const QString& path);

private:
    Kind m_kind;
};
