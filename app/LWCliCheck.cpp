#include "BCError.h"
#include "CaptionChecks.h"
#include "CaptionMath.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"
#include "LWSpeller.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace LWCli {

namespace {

// "1:02:03.450" for a start time.
QString timeText(double seconds) {
    const qint64 ms = std::llround(std::max(0.0, seconds) * 1000.0);
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000)
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

// Reads a positive number option into `value`; false (after the usage error) when it isn't one.
bool number(const Command& self, const ParsedArgs& parsed, const QString& name, double& value,
            int& status) {
    if (!parsed.options.contains(name))
        return true;
    bool ok = false;
    const double read = parsed.options.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(read) || read < 0) {
        status = usageError(self, QStringLiteral("%1 takes a number of 0 or more").arg(name));
        return false;
    }
    value = read;
    return true;
}

int check(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args,
                   {QStringLiteral("--max-cps"), QStringLiteral("--max-chars"),
                    QStringLiteral("--min-gap"), QStringLiteral("--min-duration"),
                    QStringLiteral("--max-duration"), QStringLiteral("--spell")},
                   {QStringLiteral("--json")}, parsed, status))
        return status;
    if (parsed.positional.size() != 1)
        return usageError(self, QStringLiteral("check takes one caption file"));
    CaptionChecks::Limits limits;
    double chars = limits.maxCharsPerLine;
    if (!number(self, parsed, QStringLiteral("--max-cps"), limits.maxCharsPerSecond, status) ||
        !number(self, parsed, QStringLiteral("--max-chars"), chars, status) ||
        !number(self, parsed, QStringLiteral("--min-gap"), limits.minGap, status) ||
        !number(self, parsed, QStringLiteral("--min-duration"), limits.minDuration, status) ||
        !number(self, parsed, QStringLiteral("--max-duration"), limits.maxDuration, status))
        return status;
    limits.maxCharsPerLine = int(std::min(chars, 100000.0));

    // A language without an installed dictionary is said before the file is read.
    std::unique_ptr<LWSpeller> speller;
    if (parsed.options.contains(QStringLiteral("--spell"))) {
        const QString language = parsed.options.value(QStringLiteral("--spell")).trimmed();
        if (language.isEmpty())
            return usageError(self, QStringLiteral("--spell takes a language such as en-US"));
        try {
            speller = LWSpeller::forLanguage(language);
        } catch (const BCError& error) {
            std::fprintf(stderr, "%s\n", qPrintable(error.message()));
            return failed;
        }
        if (!speller) {
            std::fprintf(stderr, "%s\n", qPrintable(LWSpeller::statusText(language)));
            return failed;
        }
    }

    const QString& in = parsed.positional[0];
    LWCliProgress progress;
    const std::optional<Captions> read = readCaptions(in, progress, status);
    if (!read)
        return status;
    const Captions& captions = *read;
    const QList<CaptionChecks::Problem> problems = CaptionChecks::checkAll(captions, limits);
    // Spelling, with the system dictionary of the language asked for and the personal word list
    // the window adds to (read, never written).
    struct Misspelling {
        qsizetype index = 0;
        QString word;
    };
    QList<Misspelling> misspellings;
    if (speller) {
        const LWPersonalWords personal;
        for (qsizetype i = 0; i < captions.size(); ++i) {
            for (const LWSpeller::Word& word : speller->misspelled(captions[i].text, &personal))
                misspellings.append({i, word.text});
        }
    }
    const auto spellingText = [](const QString& word) {
        return QStringLiteral("“%1” is not in the dictionary.").arg(word);
    };
    // Each caption's problems together: the delivery checks', then its misspelled words.
    const qsizetype count = problems.size() + misspellings.size();
    if (parsed.flags.contains(QStringLiteral("--json"))) {
        QJsonArray list;
        qsizetype m = 0;
        for (qsizetype k = 0; k <= problems.size(); ++k) {
            const qsizetype upTo = k < problems.size() ? problems[k].index : captions.size();
            for (; m < misspellings.size() && misspellings[m].index < upTo; ++m) {
                const Misspelling& w = misspellings[m];
                list.append(QJsonObject{{QStringLiteral("caption"), w.index + 1},
                                        {QStringLiteral("start"), captions[w.index].start},
                                        {QStringLiteral("kind"), QStringLiteral("spelling")},
                                        {QStringLiteral("word"), w.word},
                                        {QStringLiteral("message"), spellingText(w.word)}});
            }
            if (k == problems.size())
                break;
            const auto& p = problems[k];
            const double figure = std::isfinite(p.figure) ? p.figure : -1;
            list.append(QJsonObject{{QStringLiteral("caption"), p.index + 1},
                                    {QStringLiteral("start"), captions[p.index].start},
                                    {QStringLiteral("kind"), CaptionChecks::kindName(p.kind)},
                                    {QStringLiteral("figure"), figure},
                                    {QStringLiteral("limit"), p.limit},
                                    {QStringLiteral("message"), CaptionChecks::describe(p)}});
        }
        std::fputs(QJsonDocument(list).toJson(QJsonDocument::Indented).constData(), stdout);
    } else {
        const auto line = [&](qsizetype index, const QString& kind, const QString& message) {
            std::printf("%lld\t%s\t%s\t%s\n", static_cast<long long>(index + 1),
                        qPrintable(timeText(captions[index].start)), qPrintable(kind),
                        qPrintable(message));
        };
        qsizetype m = 0;
        for (qsizetype k = 0; k <= problems.size(); ++k) {
            const qsizetype upTo = k < problems.size() ? problems[k].index : captions.size();
            for (; m < misspellings.size() && misspellings[m].index < upTo; ++m)
                line(misspellings[m].index, QStringLiteral("spelling"),
                     spellingText(misspellings[m].word));
            if (k == problems.size())
                break;
            const auto& p = problems[k];
            line(p.index, CaptionChecks::kindName(p.kind), CaptionChecks::describe(p));
        }
        std::fprintf(stderr, "%lld problems in %lld captions\n", static_cast<long long>(count),
                     static_cast<long long>(captions.size()));
    }
    std::fflush(stdout);
    return count == 0 ? ok : 1;
}

} // namespace

Command checkCommand() {
    return {QStringLiteral("check"),
            QStringLiteral("CAPTIONS [--max-cps 17] [--max-chars N] [--min-gap 0.083] "
                           "[--min-duration 1] [--max-duration 7] [--spell LANG] [--json]"),
            QStringLiteral(
                "Checks a caption file (any format import reads) before delivery and lists each\n"
                "problem: its caption number, start time, kind and figure. Limits: reading\n"
                "speed in characters per second (spaces count, line breaks don't), characters\n"
                "per line (default 42), seconds on screen, and the gap to the next caption.\n"
                "--spell LANG (such as en-US) also lists each word the system dictionary of\n"
                "that language doesn't know (words added in the window's \"Add to Dictionary\"\n"
                "count as known); exit status 3 when no dictionary for LANG is installed.\n"
                "Exit status 1 when there is any problem, 0 when there is none."),
            check};
}

} // namespace LWCli
