#include "CaptionChecks.h"
#include "CaptionMath.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
                    QStringLiteral("--max-duration")},
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

    const QString& in = parsed.positional[0];
    LWCliProgress progress;
    const std::optional<Captions> read = readCaptions(in, progress, status);
    if (!read)
        return status;
    const Captions& captions = *read;
    const QList<CaptionChecks::Problem> problems = CaptionChecks::checkAll(captions, limits);
    if (parsed.flags.contains(QStringLiteral("--json"))) {
        QJsonArray list;
        for (const auto& p : problems) {
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
        for (const auto& p : problems) {
            std::printf("%lld\t%s\t%s\t%s\n", static_cast<long long>(p.index + 1),
                        qPrintable(timeText(captions[p.index].start)),
                        qPrintable(CaptionChecks::kindName(p.kind)),
                        qPrintable(CaptionChecks::describe(p)));
        }
        std::fprintf(stderr, "%lld problems in %lld captions\n",
                     static_cast<long long>(problems.size()),
                     static_cast<long long>(captions.size()));
    }
    std::fflush(stdout);
    return problems.isEmpty() ? ok : 1;
}

} // namespace

Command checkCommand() {
    return {QStringLiteral("check"),
            QStringLiteral("CAPTIONS [--max-cps 17] [--max-chars N] [--min-gap 0.083] "
                           "[--min-duration 1] [--max-duration 7] [--json]"),
            QStringLiteral(
                "Checks a caption file (any format import reads) before delivery and lists each\n"
                "problem: its caption number, start time, kind and figure. Limits: reading\n"
                "speed in characters per second (spaces count, line breaks don't), characters\n"
                "per line (default 42), seconds on screen, and the gap to the next caption.\n"
                "Exit status 1 when there is any problem, 0 when there is none."),
            check};
}

} // namespace LWCli
