#include "BCText.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <optional>

namespace BCText {

namespace {

std::optional<QStringConverter::Encoding> encodingFromMark(const QByteArray& bytes) {
    // Longest marks first: the UTF-32 LE mark begins with the UTF-16 LE one.
    if (bytes.startsWith(QByteArray("\xFF\xFE\x00\x00", 4)))
        return QStringConverter::Utf32LE;
    if (bytes.startsWith(QByteArray("\x00\x00\xFE\xFF", 4)))
        return QStringConverter::Utf32BE;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QStringConverter::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return QStringConverter::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

} // namespace

QString decode(const QByteArray& bytes) {
    if (auto encoding = encodingFromMark(bytes)) {
        // The decoder drops the mark itself; damaged sequences become U+FFFD.
        QStringDecoder decoder(*encoding, QStringConverter::Flag::Stateless);
        return decoder.decode(bytes);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder windows("windows-1252", QStringConverter::Flag::Stateless);
    if (windows.isValid())
        return windows.decode(bytes);
    return QString::fromLatin1(bytes);
}

qsizetype length(const QString& text) {
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace BCText
