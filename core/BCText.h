#pragma once

#include <QByteArray>
#include <QString>

namespace BCText {

// Decodes the bytes of a text file written by another program: a UTF-32 or UTF-16 byte-order
// mark decides the encoding; otherwise valid UTF-8 is read as UTF-8 and anything else as
// Windows-1252 (Latin-1 with the Windows quotes and dashes in 0x80-0x9F). Never fails.
QString decode(const QByteArray& bytes);

// User-perceived characters (grapheme clusters) in `text`.
qsizetype length(const QString& text);

} // namespace BCText
