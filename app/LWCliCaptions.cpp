#include "BCError.h"
#include "CaptionMath.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"
#include "WhisperEngine.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace LWCli {

namespace {

// A plain array of {"text", "start", "duration"} words, or nothing when the JSON is not one.
std::optional<TimedWords> plainWords(const QJsonDocument& document) {
    if (!document.isArray())
        return std::nullopt;
    TimedWords words;
    for (const QJsonValue& value : document.array()) {
        const QJsonObject word = value.toObject();
        const QJsonValue text = word.value(QStringLiteral("text"));
        const QJsonValue start = word.value(QStringLiteral("start"));
        const QJsonValue duration = word.value(QStringLiteral("duration"));
        if (!text.isString() || !start.isDouble() || !duration.isDouble())
            return std::nullopt;
        words.append({text.toString(), start.toDouble(), duration.toDouble()});
    }
    return words;
}

bool readNumber(const QString& text, double& out) {
    bool ok = false;
    const double value = text.toDouble(&ok); // C locale
    if (!ok || !std::isfinite(value) || value < 0)
        return false;
    out = value;
    return true;
}

int captions(const Command& self, const QStringList& args) {
    const QStringList valued = {QStringLiteral("--max-chars"), QStringLiteral("--max-lines"),
                                QStringLiteral("--max-duration"), QStringLiteral("--min-duration"),
                                QStringLiteral("--pause-split")};
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, valued, {}, parsed, status))
        return status;
    if (parsed.positional.size() != 2)
        return usageError(self, QStringLiteral("captions takes a words file and an output file"));
    const QString& in = parsed.positional[0];
    const QString& out = parsed.positional[1];
    const auto kind = LWFormats::kindForPath(out);
    if (!kind || !LWFormats::isPlain(*kind))
        return usageError(self, QStringLiteral("the output must end in .srt, .vtt or .txt"));

    CaptionMath::Rules rules;
    for (auto it = parsed.options.cbegin(); it != parsed.options.cend(); ++it) {
        double value = 0;
        const bool whole =
            it.key() == QStringLiteral("--max-chars") || it.key() == QStringLiteral("--max-lines");
        if (!readNumber(it.value(), value) ||
            (whole && (value != std::floor(value) || value > 10000)))
            return usageError(
                self,
                QStringLiteral("%1 needs a %2 number, not “%3”")
                    .arg(it.key(), whole ? QStringLiteral("whole") : QStringLiteral("non-negative"),
                         it.value()));
        if (it.key() == QStringLiteral("--max-chars"))
            rules.maxCharsPerLine = int(value);
        else if (it.key() == QStringLiteral("--max-lines"))
            rules.maxLines = int(value);
        else if (it.key() == QStringLiteral("--max-duration"))
            rules.maxDuration = value;
        else if (it.key() == QStringLiteral("--min-duration"))
            rules.minDuration = value;
        else
            rules.pauseSplit = value;
    }

    LWCliProgress progress;
    progress.update(QStringLiteral("Reading words…"), -1);
    const QString name = QFileInfo(in).fileName();
    QFile file(in);
    if (QFileInfo(in).isDir() || !file.open(QIODevice::ReadOnly))
        return cannotRead(in, progress);
    const QByteArray bytes = file.readAll();
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    TimedWords words;
    if (document.isObject() && document.object().value(QStringLiteral("transcription")).isArray()) {
        words = WhisperEngine::parse(bytes);
    } else if (auto plain = plainWords(document)) {
        words = *plain;
    } else {
        progress.finish();
        printError(QStringLiteral("“%1” is neither a whisper-cli JSON result nor a list of "
                                  "words with text, start and duration.")
                       .arg(name));
        return failed;
    }
    if (interruptRequested())
        return interrupted;

    progress.update(QStringLiteral("Making captions…"), -1);
    const Captions made = CaptionMath::group(words, rules);
    if (made.isEmpty()) {
        progress.finish();
        printError(QStringLiteral("“%1” contains no words to make captions from.").arg(name));
        return failed;
    }
    return writeOutput(out, LWFormats::text(*kind, made, false), progress);
}

} // namespace

Command captionsCommand() {
    return {QStringLiteral("captions"),
            QStringLiteral("WORDS.json OUT [--max-chars N] [--max-lines N] [--max-duration S] "
                           "[--min-duration S] [--pause-split S]"),
            QStringLiteral(
                "Groups recognised words into readable captions and writes SRT, VTT or TXT by\n"
                "OUT's extension. WORDS.json is a whisper-cli JSON result (-oj, best with -ml 1)\n"
                "or an array of {\"text\", \"start\", \"duration\"} words in seconds. Repeated\n"
                "loops and markers such as [BLANK_AUDIO] are dropped as the application does.\n"
                "Defaults: 42 characters per line, 2 lines, 6.0 s longest, 1.0 s shortest,\n"
                "0.8 s pause split."),
            captions};
}

} // namespace LWCli
