#include "BCText.h"
#include "CaptionMath.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace CaptionMath {

namespace {

// ASCII digits with at most one point and at least one digit: "5", "5.", ".5", "05.250".
bool isPlainDecimal(QStringView piece) {
    bool digit = false;
    bool point = false;
    for (QChar c : piece) {
        if (c >= u'0' && c <= u'9')
            digit = true;
        else if (c == u'.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

} // namespace

QString stamp(double seconds, QChar separator) {
    std::int64_t ms = 0;
    if (std::isfinite(seconds)) {
        const double raw = std::trunc(seconds * 1000.0 + 0.5);
        if (raw >= 0x1p63)
            ms = INT64_MAX;
        else if (raw > 0)
            ms = static_cast<std::int64_t>(raw);
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld", (long long)(ms / 3'600'000),
                  (long long)((ms / 60'000) % 60), (long long)((ms / 1000) % 60));
    char millis[8];
    std::snprintf(millis, sizeof millis, "%03lld", (long long)(ms % 1000));
    return QString::fromLatin1(buffer) + separator + QString::fromLatin1(millis);
}

std::optional<double> parse(const QString& input) {
    QString text = BCText::trimBlanks(input);
    text.replace(u',', u'.');
    if (text.isEmpty())
        return std::nullopt;

    const QStringList pieces = text.split(u':', Qt::KeepEmptyParts);
    if (pieces.size() > 3)
        return std::nullopt;

    // "\z", not "$": "$" also matches before a final line feed, which the conversion below
    // would then skip as white space.
    double total = 0;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString& piece = pieces[i];
        if (!isPlainDecimal(piece))
            return std::nullopt;
        bool ok = false;
        const double value = piece.toDouble(&ok); // C locale, whatever the desktop's locale
        if (!ok || !std::isfinite(value) || value < 0)
            return std::nullopt;
        const bool lastPiece = i == pieces.size() - 1;
        if (!lastPiece && value != std::floor(value))
            return std::nullopt;
        if (pieces.size() >= 2 && lastPiece && value >= 60)
            return std::nullopt;
        if (pieces.size() == 3 && i == 1 && value >= 60)
            return std::nullopt;
        total = total * 60 + value;
        if (!std::isfinite(total) || total * 1000.0 >= 0x1p63)
            return std::nullopt;
    }
    return total;
}

std::optional<qsizetype> active(const Captions& captions, double t) {
    for (qsizetype i = 0; i < captions.size(); ++i) {
        if (captions[i].start <= t && captions[i].end > t)
            return i;
    }
    return std::nullopt;
}

} // namespace CaptionMath
