// The offline recogniser's cost around PocketSphinx: the recorded test sentences joined into one
// file, recognised once by Transcriber (pause split, one WAV per part, the recogniser on its own
// thread) and once by one plain PocketSphinx decode of the same samples with the same model.
// Prints both times and their ratio. Usage: bench_speech_overhead [rounds] [media file]; with a
// file, its sound track is used instead of the test sentences.
#include "BCAudio.h"
#include "SpeechRecognizer.h"
#include "Transcriber.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <pocketsphinx.h>

namespace {

double plainDecode(const std::vector<float>& samples, const QString& folder) {
    const QByteArray hmm = QFile::encodeName(folder + QStringLiteral("/en-us"));
    const QByteArray lm = QFile::encodeName(folder + QStringLiteral("/en-us.lm.bin"));
    const QByteArray dict = QFile::encodeName(folder + QStringLiteral("/cmudict-en-us.dict"));
    QElapsedTimer timer;
    timer.start();
    cmd_ln_t* config =
        cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(),
                    "-dict", dict.constData(), "-logfn", "/dev/null", nullptr);
    ps_decoder_t* ps = ps_init(config);
    std::vector<int16> pcm;
    for (const float x : samples)
        pcm.push_back(int16(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
    ps_start_utt(ps);
    ps_process_raw(ps, pcm.data(), pcm.size(), FALSE, TRUE);
    ps_end_utt(ps);
    int words = 0;
    for (ps_seg_t* seg = ps_seg_iter(ps); seg; seg = ps_seg_next(seg))
        ++words;
    ps_free(ps);
    cmd_ln_free_r(config);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("plain PocketSphinx: %.2f s, %d segments\n", seconds, words);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 1;
    const QDir data(QStringLiteral(LOROWEN_SPHINX_LIBRIVOX));
    std::vector<float> samples;
    if (argc > 2)
        samples = BCAudio::monoSamples(QString::fromLocal8Bit(argv[2]), 16000, 21600);
    for (const QString& name : data.entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name)) {
        if (argc > 2)
            break;
        const std::vector<float> part = BCAudio::monoSamples(data.filePath(name), 16000, 60);
        samples.insert(samples.end(), part.begin(), part.end());
        samples.insert(samples.end(), 16000, 0.0f); // a second of silence between sentences
    }
    const auto folder = SpeechRecognizer::modelFolder(QStringLiteral("en-US"));
    if (!folder)
        return 1;
    std::printf("sound: %.1f s\n", double(samples.size()) / 16000);
    double ours = 0;
    double plain = 0;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        const Transcriber::Result result =
            Transcriber::transcribeSamples(samples, QStringLiteral("en-US"), true, {});
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("Transcriber: %.2f s, %lld words\n", seconds, (long long)result.words.size());
        ours += seconds;
        plain += plainDecode(samples, *folder);
    }
    std::printf("ratio Transcriber / plain decode: %.2f\n", ours / plain);
    return 0;
}
