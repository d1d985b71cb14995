#pragma once

#include "Caption.h"

#include <QList>
#include <QString>

// The checks a caption file must pass before delivery: reading speed, line length, time on
// screen, the gap to the next caption and overlaps. Pure; any thread.
namespace CaptionChecks {

struct Limits {
    double maxCharsPerSecond = 17; // spaces count, line breaks don't
    int maxCharsPerLine = 42;      // the caption rules' line limit
    double minDuration = 1.0;      // the caption rules' shortest caption
    double maxDuration = 7.0;
    double minGap = 0.083;      // two frames at 24 per second
    double minConfidence = 0.5; // a word the recogniser was less sure of is marked

    friend bool operator==(const Limits&, const Limits&) = default;
};

enum class Kind { readingSpeed, lineLength, tooShort, tooLong, tooClose, overlap, unsure };

struct Problem {
    qsizetype index = 0; // of the caption in the list checked
    Kind kind = Kind::readingSpeed;
    double figure = 0; // what was measured: characters per second, characters, seconds
    double limit = 0;
    QList<WordConfidence> words; // the words of an `unsure` problem

    friend bool operator==(const Problem&, const Problem&) = default;
};

// Characters per second of a caption: user-perceived characters with line breaks left out,
// over its time on screen (0 for an empty caption, infinite for one without time).
double charsPerSecond(const Caption& caption);

// The words of the caption the recogniser scored below `below` that still stand as they were.
QList<WordConfidence> unsureWords(const Caption& caption, double below);

// The problems of captions[index] alone and with the caption after it, in the order of Kind.
QList<Problem> check(const Captions& captions, qsizetype index, const Limits& limits);
// Every problem of the list, by caption and then by kind.
QList<Problem> checkAll(const Captions& captions, const Limits& limits);

// A short name of the kind: "reading speed", "line length", …
QString kindName(Kind kind);
// The problem in a sentence with its figure: "21.4 characters per second; the limit is 17."
QString describe(const Problem& problem);

} // namespace CaptionChecks
