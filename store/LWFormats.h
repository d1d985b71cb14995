#pragma once

#include "Caption.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// File-level reading and writing of the caption text formats, shared by the store's import and
// export commands and by lorowen-cli so that both behave exactly alike.
namespace LWFormats {

enum class TextKind { srt, vtt, txt };

QString extension(TextKind kind);

// The media file extensions the open panel offers and the monitor accepts.
const QStringList& exts();
// The kind named by a path's extension (case-insensitive), if any.
std::optional<TextKind> kindForPath(const QString& path);

// The text of `captions` in that format; `timestamps` only matters for txt.
QString text(TextKind kind, const Captions& captions, bool timestamps);

// The decoded text of a subtitle file, or nothing when it cannot be read.
std::optional<QString> readText(const QString& path);

// Writes UTF-8 bytes through a temporary file renamed into place, so an existing file is either
// replaced whole or left alone. Throws BCError with a sentence naming the file.
void writeAtomically(const QString& path, const QByteArray& bytes);

} // namespace LWFormats
