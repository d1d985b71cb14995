#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace BCText {

// Decodes the bytes of a text file written by another program: a UTF-32 or UTF-16 byte-order
// mark decides the encoding; otherwise valid UTF-8 is read as UTF-8 and anything else as
// Windows-1252 (Latin-1 with the Windows quotes and dashes in 0x80-0x9F). Never fails.
QString decode(const QByteArray& bytes);

// `text` without the leading and trailing characters for which `drop` holds.
template <typename Pred> QStringView trimmedView(QStringView text, Pred drop) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && drop(text[first]))
        ++first;
    while (last > first && drop(text[last - 1]))
        --last;
    return text.sliced(first, last - first);
}

inline bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}
inline bool isBlankOrBreak(QChar c) {
    return isBlank(c) || c == u'\n' || c == u'\r';
}

// Trimmed of spaces and tabs only (other white space stays).
inline QString trimBlanks(const QString& text) {
    return trimmedView(text, isBlank).toString();
}
// Trimmed of spaces, tabs, line feeds and carriage returns.
inline QString trimBlanksAndBreaks(const QString& text) {
    return trimmedView(text, isBlankOrBreak).toString();
}

// User-perceived characters (grapheme clusters) in `text`.
qsizetype length(const QString& text);

} // namespace BCText
