// The whole Whisper transcription (WhisperEngine::transcribe: the WAV, whisper-cli, the result,
// onset snapping) on the processor and on the graphics card, each against its plain whisper-cli
// run with the same arguments on the same WAV, and the card against the processor.
//
//   build/bench/bench_whisper_gpu [SOUND [MODEL.bin]]
//
// Defaults: a recorded sentence from pocketsphinx-testdata and the random-weight tiny test
// model beside the checkout. Programs: build/app/helpers/whisper-cli and whisper-cli-vulkan.
// Without a graphics card, Mesa's software driver (lavapipe) is used, forced as
// BRCT_WHISPER_VULKAN_CPU=1 forces it: that run is a correctness figure (same words?), not a
// speed one. The first card run compiles the driver's shaders and is reported on its own.
// BENCH_RUNS (default 1) runs of each, the fastest kept.
#include "BCAudio.h"
#include "WhisperDevices.h"
#include "WhisperEngine.h"
#include "WhisperModels.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double seconds(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e9;
}

double best(int runs, const std::function<void()>& work) {
    double fastest = 1e18;
    for (int i = 0; i < runs; ++i)
        fastest = std::min(fastest, seconds(work));
    return fastest;
}

void plain(const QString& program, const QStringList& args, const QStringList& environment) {
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment)
        variables.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    process.setProcessEnvironment(variables);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir root;
    qputenv("XDG_DATA_HOME", root.filePath("data").toUtf8());
    QCoreApplication app(argc, argv);
    const QStringList given = app.arguments().mid(1);
    const QString sound =
        given.value(0, QStringLiteral(LOROWEN_SPHINX_LIBRIVOX
                                      "/sense_and_sensibility_01_austen_64kb-0870.wav"));
    const QString modelFile =
        given.value(1, QStringLiteral(LOROWEN_TEST_MODELS "/test-random-tiny-ggml.bin"));
    const QString helpers = QStringLiteral(LOROWEN_HELPERS_DIR);
    const int runs = std::max(qEnvironmentVariableIntValue("BENCH_RUNS"), 1);
    qputenv("BRCT_WHISPER_CLI", (helpers + "/whisper-cli").toUtf8());
    qputenv("BRCT_WHISPER_CLI_VULKAN", (helpers + "/whisper-cli-vulkan").toUtf8());

    // The model, installed as a download leaves it.
    const QString name = QFileInfo(modelFile).fileName();
    const WhisperModel model{
        name, name, name, QFileInfo(modelFile).size(), WhisperModels::sha256(modelFile), {}, {}};
    const QString folder = WhisperModels::folder();
    QDir().mkpath(folder);
    QFile::copy(modelFile, folder + "/" + name);
    QFile marker(folder + "/" + name + ".verified");
    if (!marker.open(QIODevice::WriteOnly) || marker.write(model.sha256.toLatin1()) <= 0)
        return 1;
    marker.close();

    const std::vector<float> samples = BCAudio::monoSamples(sound, 16000, 21600);
    const double length = double(samples.size()) / 16000;
    const QString wav = root.filePath("in.wav");
    BCAudio::writeWAV(samples, 16000, wav);
    WhisperEngine::Options options{model, "en", false, {}};
    const auto args = [&](const WhisperEngine::Options& o) {
        return WhisperEngine::arguments(folder + "/" + name, wav, root.filePath("out"), o, {});
    };
    std::printf("%s: %.1f s of sound, model %s\n", qPrintable(QFileInfo(sound).fileName()), length,
                qPrintable(name));

    TimedWords onProcessor;
    const double ours =
        best(runs, [&] { onProcessor = WhisperEngine::transcribe(samples, options, true); });
    const double theirs = best(runs, [&] { plain(helpers + "/whisper-cli", args(options), {}); });
    std::printf("processor (%d threads): transcribe %.2f s, whisper-cli %.2f s, ratio %.3f\n",
                WhisperEngine::threads(), ours, theirs, ours / theirs);

    const QList<WhisperDevices::Device>& devices = WhisperDevices::found();
    bool software = false;
    std::optional<WhisperDevices::Device> card = WhisperDevices::choose(
        WhisperDevices::Want::gpu, true, devices, false, WhisperEngine::cliURL(true).has_value());
    if (!card) {
        card = WhisperDevices::choose(WhisperDevices::Want::gpu, true, devices, true,
                                      WhisperEngine::cliURL(true).has_value());
        software = card.has_value();
    }
    if (!card) {
        std::printf("graphics card: none usable (%s)\n",
                    qPrintable(WhisperDevices::noGpuSentence(
                        devices, true, WhisperEngine::cliURL(true).has_value())));
        return 0;
    }
    options.gpu = card;
    const QStringList pointed{QStringLiteral("GGML_VK_VISIBLE_DEVICES=%1").arg(card->index)};
    const double first =
        seconds([&] { plain(helpers + "/whisper-cli-vulkan", args(options), pointed); });
    TimedWords onCard;
    WhisperEngine::Outcome outcome;
    const double oursOnCard = best(runs, [&] {
        onCard = WhisperEngine::transcribe(samples, options, true, {}, {}, &outcome);
    });
    const double theirsOnCard =
        best(runs, [&] { plain(helpers + "/whisper-cli-vulkan", args(options), pointed); });
    std::printf("graphics card %s (%s%s, %d threads): first whisper-cli-vulkan run %.2f s; "
                "transcribe %.2f s, whisper-cli-vulkan %.2f s, ratio %.3f\n",
                qPrintable(card->name), qPrintable(WhisperDevices::kindName(card->kind)),
                software ? ", forced: a correctness figure, not a speed one" : "",
                WhisperEngine::gpuThreads(), first, oursOnCard, theirsOnCard,
                oursOnCard / theirsOnCard);
    if (outcome.gpuFailure)
        std::printf("the card run failed (%s) and the processor did it\n",
                    qPrintable(*outcome.gpuFailure));
    std::printf("card / processor: %.2f; same words: %s (%lld words)\n", oursOnCard / ours,
                onCard == onProcessor ? "yes" : "NO", (long long)onProcessor.size());
    return 0;
}
