#pragma once

#include "Caption.h"
#include "CaptionStyle.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

// File-level reading and writing of the caption text formats, shared by the store's import and
// export commands and by lorowen-cli so that both behave exactly alike.
namespace LWFormats {

enum class TextKind { srt, vtt, txt, ass, ttml, sbv };

// The extension written for a kind ("srt", "vtt", "txt", "ass", "ttml", "sbv").
QString extension(TextKind kind);
// SRT, VTT or TXT: the formats written without a look.
inline bool isPlain(TextKind kind) {
    return kind == TextKind::srt || kind == TextKind::vtt || kind == TextKind::txt;
}
// The caption file extensions read on import, lower case without the dot.
const QStringList& captionExts();
// "“name” doesn't contain … captions.", naming every format that is read.
QString noCaptionsSentence(const QString& fileName);

// The media file extensions the open panel offers and the monitor accepts.
const QStringList& exts();
// The kind named by a path's extension (case-insensitive), if any: .ssa writes ASS, .xml and
// .dfxp write TTML.
std::optional<TextKind> kindForPath(const QString& path);

// What the styled formats need beyond the captions: the caption look, the picture size (empty
// without video) and the transcription language.
struct Look {
    CaptionStyle style;
    QSize picture;
    QString language;
};

// The text of `captions` in that format; `timestamps` only matters for txt, `look` for ASS and
// TTML (ASS measures the font, so it needs a QGuiApplication).
QString text(TextKind kind, const Captions& captions, bool timestamps, const Look& look = {});

// The decoded text of a subtitle file, or nothing when it cannot be read.
std::optional<QString> readText(const QString& path);

// Writes UTF-8 bytes through a temporary file renamed into place, so an existing file is either
// replaced whole or left alone. Throws BCError with a sentence naming the file.
void writeAtomically(const QString& path, const QByteArray& bytes);

} // namespace LWFormats
