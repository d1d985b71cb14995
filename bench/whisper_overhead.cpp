// Engine overhead: everything WhisperEngine::transcribe does besides waiting for whisper-cli
// (the WAV file, the process protocol, reading and cleaning the result, onset snapping), on 60
// minutes of 16 kHz samples with a stand-in whisper-cli that answers at once with 10,000 words.
// Prints the overhead in seconds and as a fraction of the sound's length.
#include "BCSha256.h"
#include "WhisperEngine.h"
#include "WhisperModels.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::abort();
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir root;
    qputenv("XDG_DATA_HOME", root.filePath("data").toUtf8());
    QCoreApplication app(argc, argv);
    constexpr int rate = 16000;
    constexpr double seconds = 3600;

    // Syllable-like tone bursts: 0.25 s of sound every 0.35 s, a pause every few words.
    std::vector<float> samples(size_t(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / rate;
        const double inWord = std::fmod(t, 0.35);
        const bool pause = std::fmod(t, 4.0) > 3.3;
        samples[i] = (!pause && inWord < 0.25) ? float(0.3 * std::sin(2 * M_PI * 180 * t)) : 0.0f;
    }

    QJsonArray segments;
    for (int w = 0; w < 10000; ++w) {
        const double from = w * 0.35 * 1000;
        segments.append(QJsonObject{{"offsets", QJsonObject{{"from", from}, {"to", from + 250}}},
                                    {"text", QStringLiteral(" word%1").arg(w)}});
    }
    const QString json = root.filePath("result.json");
    write(json, QJsonDocument(QJsonObject{{"transcription", segments}}).toJson());
    const QString cli = root.filePath("whisper-cli");
    write(cli, "#!/bin/sh\nprev=\nfor a in \"$@\"; do [ \"$prev\" = -of ] && out=\"$a\"; "
               "prev=\"$a\"; done\necho 'whisper_print_progress_callback: progress = 50%' >&2\n"
               "cp '" +
                   json.toUtf8() + "' \"$out.json\"\n");
    QFile::setPermissions(cli, QFile::ReadOwner | QFile::ExeOwner);
    qputenv("BRCT_WHISPER_CLI", cli.toUtf8());

    const QByteArray modelBytes(1000, 'm');
    const WhisperModel model{"bench", "Bench", "bench.bin", 1000, BCSha256::ofBytes(modelBytes),
                             {},      {}};
    write(root.filePath("bench.bin"), modelBytes);
    WhisperModels::install(root.filePath("bench.bin"), model, WhisperModels::folder());

    // The stand-in's own time, to take out of the total.
    QElapsedTimer clock;
    clock.start();
    QProcess::execute(cli, {"-of", root.filePath("alone")});
    const double child = clock.nsecsElapsed() / 1e9;

    double best = 1e9;
    size_t words = 0;
    for (int run = 0; run < 3; ++run) {
        clock.restart();
        words = size_t(WhisperEngine::transcribe(samples, {model, "en", false, {}}, true).size());
        best = std::min(best, clock.nsecsElapsed() / 1e9);
    }
    const double overhead = best - child;
    std::printf("60 min of samples, %zu words: transcribe %.3f s, stand-in whisper-cli %.3f s, "
                "overhead %.3f s = %.5f of the sound's length\n",
                words, best, child, overhead, overhead / seconds);
    return 0;
}
