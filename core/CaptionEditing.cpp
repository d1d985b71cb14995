#include "CaptionEditing.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace CaptionMath {

std::optional<std::pair<Caption, Caption>> split(const Caption& caption, double t) {
    if (t <= caption.start + 0.1 || t >= caption.end - 0.1)
        return std::nullopt;
    static const QRegularExpression breaks(QStringLiteral("[ \\n]"));
    const QStringList words = caption.text.split(breaks, Qt::SkipEmptyParts);
    if (words.size() < 2) {
        return std::pair{Caption::make(caption.start, t, caption.text),
                         Caption::make(t, caption.end, QString())};
    }
    const qsizetype count = words.size();
    const double share = (t - caption.start) / std::max(caption.end - caption.start, 0.0);
    // 0 <= share < 1 here, since the caption is longer than 0.2 s.
    const qsizetype k = std::clamp<qsizetype>(qsizetype(share * double(count)), 1, count - 1);
    std::pair halves{Caption::make(caption.start, t, words.mid(0, k).join(u' ')),
                     Caption::make(t, caption.end, words.mid(k).join(u' '))};
    halves.first.confidence = carryConfidence(caption, halves.first.text);
    halves.second.confidence = carryConfidence(caption, halves.second.text);
    return halves;
}

namespace {

struct Token {
    qsizetype at = 0;
    QStringView text;
};

// The text's words as runs between white space.
QList<Token> tokens(const QString& text) {
    QList<Token> list;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        const qsizetype from = i;
        while (i < n && !text[i].isSpace())
            ++i;
        if (i > from)
            list.append({from, QStringView(text).mid(from, i - from)});
    }
    return list;
}

} // namespace

QList<WordConfidence> carryConfidence(const Caption& before, const QString& text) {
    const QList<WordConfidence> marks = before.standingConfidence();
    if (marks.isEmpty())
        return {};
    const QList<Token> old = tokens(before.text);
    const QList<Token> now = tokens(text);
    const qsizetype n = old.size();
    const qsizetype m = now.size();
    qsizetype same = 0; // words alike at the start
    while (same < std::min(n, m) && old[same].text == now[same].text)
        ++same;
    qsizetype tail = 0; // ... and at the end, not counting those
    while (tail < std::min(n, m) - same && old[n - 1 - tail].text == now[m - 1 - tail].text)
        ++tail;

    QList<WordConfidence> carried;
    for (const WordConfidence& mark : marks) {
        const auto in = std::find_if(old.begin(), old.end(), [&](const Token& t) {
            return mark.at >= t.at && mark.at < t.at + t.text.size();
        });
        if (in == old.end())
            continue;
        const qsizetype k = in - old.begin();
        qsizetype to = -1;
        if (k < same)
            to = k;
        else if (k >= n - tail)
            to = m - (n - k);
        if (to < 0)
            continue;
        WordConfidence moved = mark;
        moved.at = int(now[to].at + (mark.at - old[k].at));
        if (QStringView(text).mid(moved.at, moved.word.size()) == moved.word)
            carried.append(moved);
    }
    return carried;
}

Captions carryConfidence(const Captions& before, Captions after) {
    QHash<QUuid, qsizetype> where; // made only when the lists don't line up
    for (qsizetype i = 0; i < after.size(); ++i) {
        Caption& c = after[i];
        if (c.confidence.isEmpty())
            continue;
        const Caption* old = nullptr;
        if (i < before.size() && before[i].id == c.id) {
            old = &before[i];
        } else {
            if (where.isEmpty()) {
                for (qsizetype j = 0; j < before.size(); ++j)
                    where.insert(before[j].id, j);
            }
            const auto found = where.constFind(c.id);
            if (found != where.constEnd())
                old = &before[*found];
        }
        if (old && old->text != c.text && old->confidence == c.confidence)
            c.confidence = carryConfidence(*old, c.text);
    }
    return after;
}

} // namespace CaptionMath
