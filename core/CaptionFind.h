#pragma once

#include "Caption.h"

#include <QRegularExpression>
#include <QString>
#include <optional>

// Find and replace over caption texts. Pure; any thread.
namespace CaptionFind {

struct Options {
    bool matchCase = false;
    bool wholeWords = false;
    bool regularExpression = false;
};

// The expression that finds `pattern` with `options`; nothing (with `problem` set to a sentence)
// for an empty pattern or an invalid regular expression.
std::optional<QRegularExpression> expression(const QString& pattern, const Options& options,
                                             QString* problem = nullptr);

struct Match {
    qsizetype caption = 0; // index in the list
    qsizetype from = 0;    // in the caption's text
    qsizetype length = 0;
};

// Every match, by caption and then by place in its text (empty matches are skipped).
QList<Match> matches(const Captions& captions, const QRegularExpression& expression);

// The next match after (or, backwards, before) the place `caption`/`from`, going round the list;
// nothing when there is no match at all. `from` -1 starts before the caption's first character.
std::optional<Match> next(const Captions& captions, const QRegularExpression& expression,
                          qsizetype caption, qsizetype from, bool forward);

// `text` with every match replaced; `replacement` may name groups as \1 … \9 when the options
// say regular expression, and is taken as it stands otherwise.
QString replaced(const QString& text, const QRegularExpression& expression,
                 const QString& replacement, const Options& options, int* count = nullptr);

} // namespace CaptionFind
