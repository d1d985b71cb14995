// lorowen-cli probe and wav: a media file opened exactly as the application opens it.
#include "BCAudio.h"
#include "BCContainer.h"
#include "BCError.h"
#include "BCMediaOpener.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdint>
#include <cstdio>
#include <stop_token>

namespace LWCli {

namespace {

BCMediaOpener::Status statusOn(LWCliProgress& progress) {
    return [&progress](const QString& text, std::optional<double> fraction) {
        progress.update(text, fraction.value_or(-1));
    };
}

QString yesNo(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString number(double value) {
    return QString::number(value, 'g', 12);
}

QByteArray describe(const BCOpenedMedia& m, const QString& container, bool json) {
    const QTransform& t = m.preferredTransform;
    const QList<double> transform = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
    if (json) {
        QJsonArray matrix;
        for (const double v : transform)
            matrix.append(v);
        const QJsonObject record{
            {QStringLiteral("container"), container},
            {QStringLiteral("original"), m.original.toLocalFile()},
            {QStringLiteral("playable"), m.playable.toLocalFile()},
            {QStringLiteral("duration"), m.duration},
            {QStringLiteral("hasVideo"), m.hasVideo},
            {QStringLiteral("hasAudio"), m.hasAudio},
            {QStringLiteral("naturalSize"),
             QJsonObject{{QStringLiteral("width"), m.naturalSize.width()},
                         {QStringLiteral("height"), m.naturalSize.height()}}},
            {QStringLiteral("transform"), matrix},
            {QStringLiteral("frameRate"), m.nominalFrameRate},
            {QStringLiteral("converted"), m.converted},
            {QStringLiteral("note"), m.note.isEmpty() ? QJsonValue() : QJsonValue(m.note)},
        };
        return QJsonDocument(record).toJson(QJsonDocument::Indented);
    }
    QStringList matrix;
    for (const double v : transform)
        matrix.append(number(v));
    const QList<std::pair<const char*, QString>> lines = {
        {"container", container},
        {"original", m.original.toLocalFile()},
        {"playable", m.playable.toLocalFile()},
        {"duration", number(m.duration)},
        {"hasVideo", yesNo(m.hasVideo)},
        {"hasAudio", yesNo(m.hasAudio)},
        {"naturalSize",
         QStringLiteral("%1x%2").arg(m.naturalSize.width()).arg(m.naturalSize.height())},
        {"transform", matrix.join(u' ')},
        {"frameRate", number(m.nominalFrameRate)},
        {"converted", yesNo(m.converted)},
        {"note", m.note},
    };
    QByteArray out;
    for (const auto& [key, value] : lines)
        out += QByteArray(key) + ": " + value.toUtf8() + '\n';
    return out;
}

int probe(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {}, {QStringLiteral("--json")}, parsed, status))
        return status;
    if (parsed.positional.size() != 1)
        return usageError(self, QStringLiteral("probe takes one media file"));
    const QString path = parsed.positional[0];
    const bool json = parsed.flags.contains(QStringLiteral("--json"));

    LWCliProgress progress;
    return runStoppable(progress, [&](std::stop_token stop) {
        progress.update(QStringLiteral("Opening %1…").arg(QFileInfo(path).fileName()), -1);
        const BCOpenedMedia media = BCMediaOpener::open(path, statusOn(progress), stop);
        progress.finish();
        if (interruptRequested())
            return int(interrupted);
        const QString container = BCContainer::sniff(path).rawValue();
        const QByteArray text = describe(media, container, json);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout);
        return int(ok);
    });
}

int wav(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {QStringLiteral("--rate")}, {}, parsed, status))
        return status;
    if (parsed.positional.size() != 2)
        return usageError(self, QStringLiteral("wav takes a media file and an output file"));
    const QString in = parsed.positional[0];
    const QString out = parsed.positional[1];
    if (!out.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive))
        return usageError(self, QStringLiteral("the output must end in .wav"));
    int rate = 16000;
    if (parsed.options.contains(QStringLiteral("--rate"))) {
        bool okay = false;
        const QString given = parsed.options.value(QStringLiteral("--rate"));
        rate = given.toInt(&okay);
        if (!okay || rate < 1 || rate > 192000)
            return usageError(self,
                              QStringLiteral("--rate needs a whole number from 1 to 192000, not "
                                             "“%1”")
                                  .arg(given));
    }

    LWCliProgress progress;
    return runStoppable(progress, [&](std::stop_token stop) {
        const QString name = QFileInfo(in).fileName();
        progress.update(QStringLiteral("Opening %1…").arg(name), -1);
        const BCOpenedMedia media = BCMediaOpener::open(in, statusOn(progress), stop);
        progress.update(QStringLiteral("Reading the sound track…"), 0);
        // Straight from the decoder into the file: the same bytes as monoSamples + writeWAV.
        const uint64_t written = BCAudio::writeMonoWAV(
            media.asset.path, rate, 21600, out,
            [&](double fraction) {
                progress.update(QStringLiteral("Reading the sound track…"), fraction);
            },
            stop);
        if (written == 0)
            throw BCError(QStringLiteral("The sound track in “%1” is empty or damaged.").arg(name));
        progress.finish();
        return int(ok);
    });
}

} // namespace

Command probeCommand() {
    return {QStringLiteral("probe"), QStringLiteral("MEDIA [--json]"),
            QStringLiteral("Opens a video or audio file as the application does (converting it\n"
                           "into the cache when needed) and prints what was found: container,\n"
                           "playable path, duration, picture and sound, size, transform, frame\n"
                           "rate, whether it was converted, and the note. --json prints JSON."),
            probe};
}

Command wavCommand() {
    return {QStringLiteral("wav"), QStringLiteral("MEDIA OUT.wav [--rate 16000]"),
            QStringLiteral("Writes the sound track of a video or audio file as a mono 16-bit WAV\n"
                           "file, exactly as the recognisers get it (16 000 samples per second\n"
                           "unless --rate says otherwise)."),
            wav};
}

} // namespace LWCli
