// PocketSphinx behind the recogniser interface the transcriber relies on.
#include "SpeechRecognizer.h"

#include "BCAudio.h"
#include "BCError.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <pocketsphinx.h>
#include <vector>

namespace {

// Where the distribution installs the models: <folder>/<tag>/<tag>/ (acoustic model),
// <folder>/<tag>/<tag>.lm.bin and a pronunciation dictionary "*.dict" beside it.
QString modelsRoot() {
    return QStringLiteral(LOROWEN_POCKETSPHINX_MODELS);
}

struct ConfigFree {
    void operator()(cmd_ln_t* config) const { cmd_ln_free_r(config); }
};
struct DecoderFree {
    void operator()(ps_decoder_t* decoder) const { ps_free(decoder); }
};

// The decoder takes the words in blocks of a quarter second so a cancel is seen soon.
constexpr size_t kBlock = 4000;

} // namespace

struct SpeechRecognizer::Decoder {
    std::unique_ptr<cmd_ln_t, ConfigFree> config;
    std::unique_ptr<ps_decoder_t, DecoderFree> decoder;
    int frameRate = 100;
};

SpeechRecognizer::SpeechRecognizer(std::unique_ptr<Decoder> decoder)
    : m_decoder(std::move(decoder)) {}

SpeechRecognizer::~SpeechRecognizer() = default;

std::optional<QString> SpeechRecognizer::modelFolder(const QString& locale) {
    const QString tag = QString(locale).replace(u'_', u'-').toLower();
    if (tag.isEmpty() || tag.contains(u'/') || tag.startsWith(u'.'))
        return std::nullopt;
    const QDir folder(modelsRoot() + u'/' + tag);
    if (!QFileInfo(folder.filePath(tag + QStringLiteral("/mdef"))).isFile() ||
        !QFileInfo(folder.filePath(tag + QStringLiteral(".lm.bin"))).isFile() ||
        folder.entryList({QStringLiteral("*.dict")}, QDir::Files).isEmpty())
        return std::nullopt;
    return folder.absolutePath();
}

std::unique_ptr<SpeechRecognizer> SpeechRecognizer::make(const QString& locale) {
    const auto folder = modelFolder(locale);
    if (!folder)
        return nullptr;
    const QString tag = QString(locale).replace(u'_', u'-').toLower();
    const QDir dir(*folder);
    QStringList dicts = dir.entryList({QStringLiteral("*.dict")}, QDir::Files, QDir::Name);
    const QByteArray hmm = QFile::encodeName(dir.filePath(tag));
    const QByteArray lm = QFile::encodeName(dir.filePath(tag + QStringLiteral(".lm.bin")));
    const QByteArray dict = QFile::encodeName(dir.filePath(dicts.first()));

    auto decoder = std::make_unique<Decoder>();
    decoder->config.reset(cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm",
                                      lm.constData(), "-dict", dict.constData(), "-logfn",
                                      "/dev/null", nullptr));
    if (!decoder->config)
        return nullptr;
    decoder->decoder.reset(ps_init(decoder->config.get()));
    if (!decoder->decoder)
        return nullptr;
    decoder->frameRate = std::max(1, int(cmd_ln_int32_r(decoder->config.get(), "-frate")));
    return std::unique_ptr<SpeechRecognizer>(new SpeechRecognizer(std::move(decoder)));
}

SpeechRecognizer::Task::~Task() {
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void SpeechRecognizer::Task::cancel() {
    m_cancel = true;
    State running = State::running;
    m_state.compare_exchange_strong(running, State::cancelling);
}

std::unique_ptr<SpeechRecognizer::Task> SpeechRecognizer::start(const QString& wavPath,
                                                                Handler handler) {
    std::unique_ptr<Task> task(new Task);
    Task* raw = task.get();
    raw->m_thread = std::thread([this, raw, wavPath, handler = std::move(handler)] {
        run(*raw, wavPath, handler);
        raw->m_state = State::completed;
    });
    return task;
}

void SpeechRecognizer::run(Task& task, const QString& wavPath, const Handler& handler) {
    std::vector<int16> pcm;
    try {
        const std::vector<float> samples = BCAudio::monoSamples(wavPath, 16000, 21600);
        pcm.reserve(samples.size());
        for (const float x : samples)
            pcm.push_back(int16(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
    } catch (const BCError& error) {
        handler(std::nullopt, Error{1, error.message()});
        return;
    }
    ps_decoder_t* ps = m_decoder->decoder.get();
    // Segment times count from the start of the decoder's stream, and one decoder hears every
    // part of a file: each part starts a stream of its own so its times begin at 0.
    if (ps_start_stream(ps) < 0 || ps_start_utt(ps) < 0) {
        handler(std::nullopt, Error{2, QStringLiteral("the recogniser couldn't start.")});
        return;
    }
    for (size_t at = 0; at < pcm.size(); at += kBlock) {
        if (task.m_cancel) {
            ps_end_utt(ps);
            return;
        }
        const size_t count = std::min(kBlock, pcm.size() - at);
        if (ps_process_raw(ps, pcm.data() + at, count, FALSE, FALSE) < 0) {
            ps_end_utt(ps);
            handler(std::nullopt,
                    Error{3, QStringLiteral("the recogniser couldn't read the sound.")});
            return;
        }
    }
    if (ps_end_utt(ps) < 0) {
        handler(std::nullopt, Error{4, QStringLiteral("the recogniser couldn't finish.")});
        return;
    }
    if (task.m_cancel)
        return;
    QList<Segment> segments;
    const double frame = 1.0 / m_decoder->frameRate;
    for (ps_seg_t* seg = ps_seg_iter(ps); seg; seg = ps_seg_next(seg)) {
        QString word = QString::fromUtf8(ps_seg_word(seg));
        // Silence, sentence marks and noises ("<sil>", "</s>", "[NOISE]") are not words, and
        // "read(2)" names the second pronunciation of "read".
        if (word.isEmpty() || word.startsWith(u'<') || word.startsWith(u'['))
            continue;
        const qsizetype paren = word.indexOf(u'(');
        if (paren > 0)
            word.truncate(paren);
        int first = 0;
        int last = 0;
        ps_seg_frames(seg, &first, &last);
        int32 acoustic = 0;
        int32 language = 0;
        int32 backoff = 0;
        // The posterior from the lattice's best path, in the decoder's log base.
        const double posterior =
            logmath_exp(ps_get_logmath(ps), ps_seg_prob(seg, &acoustic, &language, &backoff));
        segments.append({word, first * frame, (last - first + 1) * frame,
                         std::isfinite(posterior) ? std::clamp(posterior, 0.0, 1.0) : -1.0});
    }
    // The words are handed over before the task counts as completed (start() marks it so once
    // this returns), so a poll never finds a completed task whose words have not arrived.
    handler(segments, std::nullopt);
}
