// Cutting text for text to speech. Lengths count user-perceived characters (grapheme clusters),
// so an emoji or a letter with combining accents is one character and is never cut apart.
#include "ELClient.h"

#include "BCText.h"

#include <QTextBoundaryFinder>
#include <vector>

namespace {

// The grapheme boundaries of a text: `at[k]` is where character k starts (`at.back()` is the
// end), `index[p]` is the number of characters before code unit p, or -1 inside a character.
struct Graphemes {
    std::vector<qsizetype> at;
    std::vector<qsizetype> index;

    explicit Graphemes(const QString& text) : index(size_t(text.size()) + 1, -1) {
        at.push_back(0);
        index[0] = 0;
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        for (qsizetype p = finder.toNextBoundary(); p > 0; p = finder.toNextBoundary()) {
            index[size_t(p)] = qsizetype(at.size());
            at.push_back(p);
        }
    }
    qsizetype count() const { return qsizetype(at.size()) - 1; }
    // Characters between two boundaries.
    qsizetype length(qsizetype from, qsizetype to) const {
        return index[size_t(to)] - index[size_t(from)];
    }
};

QString trimmedBlanks(QStringView text) {
    return BCText::trimmedView(text, BCText::isBlank).toString();
}

} // namespace

QString ELClient::firstCharacters(const QString& text, qsizetype count) {
    const Graphemes g(text);
    return count >= g.count() ? text : text.left(g.at[size_t(count)]);
}

QString ELClient::lastCharacters(const QString& text, qsizetype count) {
    const Graphemes g(text);
    return count >= g.count() ? text : text.mid(g.at[size_t(g.count() - count)]);
}

QStringList ELClient::split(const QString& input, int max) {
    const QString text = input.trimmed();
    if (text.isEmpty())
        return {};
    max = std::max(max, 1);
    const Graphemes g(text);
    if (g.count() <= max)
        return {text};

    QStringList pieces;
    // The current piece is always one stretch of the text: [pieceFrom, pieceTo).
    qsizetype pieceFrom = 0;
    qsizetype pieceTo = 0;
    const auto pieceText = [&] { return QStringView(text).sliced(pieceFrom, pieceTo - pieceFrom); };

    QTextBoundaryFinder sentences(QTextBoundaryFinder::Sentence, text);
    qsizetype from = 0;
    for (qsizetype to = sentences.toNextBoundary(); to > 0;
         from = to, to = sentences.toNextBoundary()) {
        // A sentence too long for one piece loses its head, cut at its last space within the
        // limit, until the rest fits. A space at the very start does not count: cutting there
        // would leave the sentence as it was and never end.
        while (g.length(from, to) > max) {
            const qsizetype limit = g.at[size_t(g.index[size_t(from)] + max)];
            qsizetype cut = limit;
            for (qsizetype p = limit - 1; p > from; --p) {
                if (text[p] == u' ' && g.index[size_t(p)] >= 0) {
                    cut = p;
                    break;
                }
            }
            if (pieceTo > pieceFrom)
                pieces.append(pieceText().toString());
            pieces.append(trimmedBlanks(QStringView(text).sliced(from, cut - from)));
            from = cut;
            pieceFrom = pieceTo = from;
        }
        if (g.length(pieceFrom, pieceTo) + g.length(from, to) > max) {
            pieces.append(trimmedBlanks(pieceText()));
            pieceFrom = pieceTo = from;
        }
        if (pieceTo == pieceFrom)
            pieceFrom = from;
        pieceTo = to;
    }
    const QString last = trimmedBlanks(pieceText());
    if (!last.isEmpty())
        pieces.append(last);
    pieces.removeAll(QString());
    return pieces;
}
