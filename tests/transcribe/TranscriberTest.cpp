// The offline recogniser's cuts on synthetic signals, its reports and refusals, and PocketSphinx
// on a real recorded sentence.
#include "Transcriber.h"
#include "BCAsset.h"
#include "BCAudio.h"
#include "ErrorMessage.h"
#include "SpeechRecognizer.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>
#include <future>
#include <gtest/gtest.h>
#include <vector>

using Transcriber::Range;

namespace {

constexpr int kRate = 16000;

// Stretches of sound: a loud square wave (±0.5) or silence, by length in seconds.
struct Stretch {
    double seconds;
    bool loud;
};
std::vector<float> signal(std::initializer_list<Stretch> stretches) {
    std::vector<float> samples;
    for (const Stretch& s : stretches) {
        const size_t count = size_t(std::llround(s.seconds * kRate));
        for (size_t i = 0; i < count; ++i)
            samples.push_back(s.loud ? ((i / 20) % 2 ? 0.5f : -0.5f) : 0.0f);
    }
    return samples;
}

// The reference words of one of the recorded sentences, and its file.
struct Recording {
    QString wav;
    QStringList words;
};
Recording recording(const QString& id) {
    QFile file(QStringLiteral(LOROWEN_SPHINX_LIBRIVOX "/transcription"));
    Recording found;
    if (!file.open(QIODevice::ReadOnly))
        return found;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (!line.contains(u'(' + id + u')'))
            continue;
        QString text = line.section(u'(', 0, 0);
        text.remove(QStringLiteral("<s>")).remove(QStringLiteral("</s>"));
        found.words = text.split(u' ', Qt::SkipEmptyParts);
        found.wav = QStringLiteral(LOROWEN_SPHINX_LIBRIVOX "/") + id + QStringLiteral(".wav");
    }
    return found;
}

// How many reference words were recognised, each heard word used once.
int recognisedCount(const QStringList& reference, const TimedWords& heard) {
    QStringList pool;
    for (const TimedWord& w : heard)
        pool.append(w.text.toLower());
    int count = 0;
    for (const QString& word : reference)
        if (pool.removeOne(word))
            ++count;
    return count;
}

TEST(SpeechRoughCut, CutsLongSoundInTheQuietestWindowNearEveryFiftySeconds) {
    // A loud two minutes with 0.2 s of silence at 47 s and at 103 s.
    std::vector<float> samples = signal({{120.0, true}});
    std::fill(samples.begin() + 752000, samples.begin() + 755200, 0.0f);
    std::fill(samples.begin() + 1648000, samples.begin() + 1651200, 0.0f);
    // The first wholly silent window on each search grid (target − 8 s, then every 50 ms).
    EXPECT_EQ(Transcriber::roughCut(samples),
              (QList<Range>{{0, 752400}, {752400, 1648800}, {1648800, 1920000}}));

    struct Row {
        const char* what;
        size_t count;
        QList<Range> chunks;
    };
    const Row rows[] = {
        {"40 s is one chunk", 640000, {{0, 640000}}},
        {"exactly 58 s is one chunk", 928000, {{0, 928000}}},
        // Every window equally loud: the first one searched wins (8 s before the mark).
        {"a tie takes the first window", 960000, {{0, 672400}, {672400, 960000}}},
        {"nothing at all", 0, {{0, 0}}},
    };
    for (const Row& row : rows) {
        std::vector<float> flat(row.count, 0.25f);
        EXPECT_EQ(Transcriber::roughCut(flat), row.chunks) << row.what;
    }
}

TEST(SpeechPauses, SplitsOnlyAtLongEnoughPausesFarEnoughApart) {
    struct Row {
        const char* what;
        std::vector<float> samples;
        double minPause;
        QList<Range> pieces;
    };
    const Row rows[] = {
        {"a 1 s pause is cut in its middle",
         signal({{1, true}, {1, false}, {1, true}}),
         0.7,
         {{0, 24000}, {24000, 48000}}},
        {"a 0.6 s pause is not", signal({{1, true}, {0.6, false}, {1, true}}), 0.7, {{0, 41600}}},
        {"2 s or less is never split",
         signal({{0.5, true}, {1, false}, {0.5, true}}),
         0.7,
         {{0, 32000}}},
        {"silence at the start is no pause", signal({{1, false}, {1.5, true}}), 0.7, {{0, 40000}}},
        {"a pause running to the end is no pause",
         signal({{1.5, true}, {1, false}}),
         0.7,
         {{0, 40000}}},
        // Middles at 1.15 s and 1.55 s: the second is within 0.5 s of the first cut.
        {"cuts 0.4 s apart make one",
         signal({{1, true}, {0.3, false}, {0.1, true}, {0.3, false}, {1, true}}),
         0.3,
         {{0, 18400}, {18400, 43200}}},
        {"two pauses far apart make three pieces",
         signal({{1, true}, {1, false}, {2, true}, {1, false}, {1, true}}),
         0.7,
         {{0, 24000}, {24000, 72000}, {72000, 96000}}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(
            Transcriber::splitAtPauses({0, row.samples.size()}, row.samples, kRate, row.minPause),
            row.pieces)
            << row.what;

    // A range inside the samples keeps its own indexes; its quiet threshold is its own.
    const std::vector<float> twice = signal({{2, true}, {1, true}, {1, false}, {1, true}});
    EXPECT_EQ(Transcriber::splitAtPauses({32000, 80000}, twice, kRate, 0.7),
              (QList<Range>{{32000, 56000}, {56000, 80000}}));
}

TEST(SpeechWords, RepeatsAtTheSameHundredthAreDroppedAfterSorting) {
    const TimedWords words = {{QStringLiteral("there"), 2.0, 0.3},
                              {QStringLiteral("Hello"), 1.234, 0.2},
                              {QStringLiteral("hello"), 1.2341, 0.2},
                              {QStringLiteral("hello"), 1.25, 0.2}};
    EXPECT_EQ(Transcriber::mergedWords(words), (TimedWords{{QStringLiteral("Hello"), 1.234, 0.2},
                                                           {QStringLiteral("hello"), 1.25, 0.2},
                                                           {QStringLiteral("there"), 2.0, 0.3}}));
}

TEST(SpeechLanguages, WhispersLanguagesWithCountriesSortedByName) {
    const auto languages = Transcriber::languages();
    ASSERT_GT(languages.size(), 90);
    QStringList ids;
    for (qsizetype i = 0; i < languages.size(); ++i) {
        ids.append(languages[i].first);
        if (i > 0) {
            EXPECT_LE(languages[i - 1].second, languages[i].second);
        }
    }
    EXPECT_TRUE(ids.contains(QStringLiteral("en-US")));
    EXPECT_TRUE(ids.contains(QStringLiteral("pt-BR")));
    EXPECT_TRUE(ids.contains(QStringLiteral("fr-FR")));
    EXPECT_EQ(ids.removeDuplicates(), 0);
    const auto english = std::find_if(languages.begin(), languages.end(),
                                      [](const auto& p) { return p.first == u"en-US"; });
    EXPECT_EQ(english->second, QStringLiteral("English (United States)"));
    EXPECT_EQ(Transcriber::authorize(), Transcriber::Authorization::authorized);
    EXPECT_TRUE(Transcriber::supports(QStringLiteral("en-US")));
    EXPECT_TRUE(Transcriber::supports(QStringLiteral("en_US")));
    EXPECT_FALSE(Transcriber::supports(QStringLiteral("fr-FR")));
    EXPECT_FALSE(Transcriber::supports(QStringLiteral("../en-us")));
}

TEST(SpeechTranscriber, RefusesUnsupportedLanguagesAndTooShortSound) {
    const std::vector<float> second = signal({{1, true}});
    EXPECT_EQ(messageOf([&] {
                  Transcriber::transcribeSamples(second, QStringLiteral("fr-FR"), true, {});
              }),
              QStringLiteral("Speech recognition doesn't support fr-FR on this computer."));
    const std::vector<float> blip(4800, 0.5f);
    EXPECT_EQ(
        messageOf([&] { Transcriber::transcribeSamples(blip, QStringLiteral("en-US"), true, {}); }),
        QStringLiteral("The sound track is too short to transcribe."));
}

TEST(SpeechTranscriber, SilentPartsAreCountedButNeverRecognised) {
    // Two parts split at a pause, both below 0.004: no words, and the notes still count them.
    std::vector<float> samples = signal({{1.5, true}, {1, false}, {1.5, true}});
    for (float& x : samples)
        x *= 0.006f; // loudest 0.003
    QList<Transcriber::Progress> reports;
    const Transcriber::Result result =
        Transcriber::transcribeSamples(samples, QStringLiteral("en-US"), true,
                                       [&](const Transcriber::Progress& p) { reports.append(p); });
    EXPECT_TRUE(result.words.isEmpty());
    EXPECT_TRUE(result.onDevice);
    ASSERT_EQ(reports.size(), 3);
    EXPECT_EQ(reports[0].note, QStringLiteral("Listening to part 1 of 2 (on this computer)…"));
    EXPECT_EQ(reports[0].chunk, 1);
    EXPECT_DOUBLE_EQ(reports[0].fraction, 0.1);
    EXPECT_EQ(reports[1].note, QStringLiteral("Listening to part 2 of 2 (on this computer)…"));
    EXPECT_DOUBLE_EQ(reports[1].fraction, 0.1 + 0.9 * 32000.0 / 64000.0);
    EXPECT_EQ(reports[2].chunk, 2);
    EXPECT_EQ(reports[2].chunks, 2);
    EXPECT_DOUBLE_EQ(reports[2].fraction, 1.0);
    EXPECT_EQ(reports[2].note, QStringLiteral("Done"));
}

TEST(SpeechTranscriber, RecognisesARecordedSentenceInAPrivateFolderThatGoesAway) {
    const Recording sentence =
        recording(QStringLiteral("sense_and_sensibility_01_austen_64kb-0870"));
    ASSERT_FALSE(sentence.words.isEmpty());
    TestFolder temp;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.root().toUtf8());

    const BCAsset asset = BCAsset::load(sentence.wav);
    QStringList notes;
    QFile::Permissions folderMode;
    QStringList folders;
    const Transcriber::Result result = Transcriber::transcribe(
        asset, QStringLiteral("en-US"), true, [&](const Transcriber::Progress& p) {
            notes.append(p.note);
            if (p.chunk == 1 && folders.isEmpty()) {
                folders = QDir(temp.root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
                if (!folders.isEmpty())
                    folderMode = QFile::permissions(temp.path(folders.first()));
            }
        });
    qputenv("TMPDIR", oldTemp);

    ASSERT_EQ(folders.size(), 1);
    EXPECT_TRUE(folders.first().startsWith(QStringLiteral("brct-lw-")));
    EXPECT_EQ(folderMode & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup |
                            QFile::WriteOther | QFile::ExeGroup | QFile::ExeOther),
              QFile::Permissions());
    EXPECT_TRUE(QDir(temp.root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(notes.first(), QStringLiteral("Reading the sound track…"));
    EXPECT_EQ(notes.last(), QStringLiteral("Done"));

    // PocketSphinx gets about two words in three right on this reader.
    const int heard = recognisedCount(sentence.words, result.words);
    EXPECT_GE(heard * 2, sentence.words.size()) << heard << " of " << sentence.words.size();
    double last = 0;
    for (const TimedWord& w : result.words) {
        EXPECT_GE(w.start, last - 1e-9) << w.text.toStdString();
        EXPECT_GT(w.duration, 0.0);
        EXPECT_LE(w.end(), 7.2);
        last = w.start;
        // Each word carries PocketSphinx's posterior probability.
        EXPECT_GE(w.confidence, 0.0) << w.text.toStdString();
        EXPECT_LE(w.confidence, 1.0) << w.text.toStdString();
    }
    // Words it heard wrong are the ones it is less sure of: not every word is certain.
    EXPECT_TRUE(std::any_of(result.words.begin(), result.words.end(),
                            [](const TimedWord& w) { return w.confidence < 0.9; }));
    // The sentence fills the recording: its words are spread over most of it.
    ASSERT_FALSE(result.words.isEmpty());
    EXPECT_LT(result.words.first().start, 1.5);
    EXPECT_GT(result.words.last().end(), 5.5);
}

TEST(SpeechTranscriber, StopsWhenAsked) {
    const Recording sentence =
        recording(QStringLiteral("sense_and_sensibility_01_austen_64kb-0870"));
    const std::vector<float> samples = BCAudio::monoSamples(sentence.wav, kRate, 60);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(Transcriber::transcribeSamples(samples, QStringLiteral("en-US"), true, {},
                                                stop.get_token()),
                 BCCancelled);
}

// The task used to count as completed just before its words were handed over: a poll landing in
// between delivered an empty part without a word or an error. The handler must see a task that
// is still running, and each part its own times, however many parts one recogniser hears.
TEST(SpeechRecognizerTask, HandsOverTheWordsBeforeItCountsAsCompletedWithEachPartFromZero) {
    const Recording sentence =
        recording(QStringLiteral("sense_and_sensibility_01_austen_64kb-0880"));
    const std::unique_ptr<SpeechRecognizer> recognizer =
        SpeechRecognizer::make(QStringLiteral("en-US"));
    ASSERT_TRUE(recognizer);
    for (int part = 0; part < 3; ++part) {
        SCOPED_TRACE(part);
        std::promise<SpeechRecognizer::Task*> started;
        std::shared_future<SpeechRecognizer::Task*> task = started.get_future().share();
        std::promise<std::pair<SpeechRecognizer::State, double>> seen;
        auto outcome = seen.get_future();
        const auto running = recognizer->start(
            sentence.wav, [&](const std::optional<QList<SpeechRecognizer::Segment>>& final,
                              const std::optional<SpeechRecognizer::Error>&) {
                const double first = final && !final->isEmpty() ? final->first().timestamp : -1;
                seen.set_value({task.get()->state(), first});
            });
        started.set_value(running.get());
        ASSERT_EQ(outcome.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        const auto [state, first] = outcome.get();
        EXPECT_NE(state, SpeechRecognizer::State::completed);
        // The sentence begins about a quarter second into the file, every time.
        EXPECT_GE(first, 0.0);
        EXPECT_LT(first, 1.0);
    }
}

} // namespace
