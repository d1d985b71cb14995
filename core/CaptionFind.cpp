#include "CaptionFind.h"

namespace CaptionFind {

std::optional<QRegularExpression> expression(const QString& pattern, const Options& options,
                                             QString* problem) {
    if (pattern.isEmpty()) {
        if (problem)
            *problem = QStringLiteral("Type something to find.");
        return std::nullopt;
    }
    QString source = options.regularExpression ? pattern : QRegularExpression::escape(pattern);
    if (options.wholeWords)
        source = QStringLiteral("(?<!\\w)(?:%1)(?!\\w)").arg(source);
    QRegularExpression::PatternOptions flags = QRegularExpression::UseUnicodePropertiesOption;
    if (!options.matchCase)
        flags |= QRegularExpression::CaseInsensitiveOption;
    QRegularExpression found(source, flags);
    if (!found.isValid()) {
        if (problem)
            *problem =
                QStringLiteral("The regular expression is not valid: %1.").arg(found.errorString());
        return std::nullopt;
    }
    return found;
}

QList<Match> matches(const Captions& captions, const QRegularExpression& expression) {
    QList<Match> found;
    for (qsizetype i = 0; i < captions.size(); ++i) {
        auto it = expression.globalMatch(captions[i].text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedLength() > 0)
                found.append({i, m.capturedStart(), m.capturedLength()});
        }
    }
    return found;
}

std::optional<Match> next(const Captions& captions, const QRegularExpression& expression,
                          qsizetype caption, qsizetype from, bool forward) {
    const QList<Match> all = matches(captions, expression);
    if (all.isEmpty())
        return std::nullopt;
    const auto after = [&](const Match& m) {
        return m.caption > caption || (m.caption == caption && m.from > from);
    };
    const auto before = [&](const Match& m) {
        return m.caption < caption || (m.caption == caption && m.from < from);
    };
    if (forward) {
        for (const Match& m : all) {
            if (after(m))
                return m;
        }
        return all.first();
    }
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (before(*it))
            return *it;
    }
    return all.last();
}

QString replaced(const QString& text, const QRegularExpression& expression,
                 const QString& replacement, const Options& options, int* count) {
    QString result;
    qsizetype last = 0;
    int made = 0;
    auto it = expression.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength() == 0)
            continue;
        result += QStringView(text).sliced(last, m.capturedStart() - last);
        if (options.regularExpression) {
            // \0 … \9 name the match and its groups; \\ is a backslash.
            for (qsizetype i = 0; i < replacement.size(); ++i) {
                const QChar c = replacement[i];
                if (c == u'\\' && i + 1 < replacement.size()) {
                    const QChar d = replacement[i + 1];
                    if (d.isDigit()) {
                        result += m.captured(d.digitValue());
                        ++i;
                        continue;
                    }
                    if (d == u'\\') {
                        result += u'\\';
                        ++i;
                        continue;
                    }
                }
                result += c;
            }
        } else {
            result += replacement;
        }
        last = m.capturedEnd();
        ++made;
    }
    result += QStringView(text).sliced(last);
    if (count)
        *count = made;
    return made ? result : text;
}

} // namespace CaptionFind
