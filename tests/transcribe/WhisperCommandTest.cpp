#include "../core/CorePrinters.h"
#include "TestFiles.h"
#include "WhisperEngine.h"
#include "WhisperOutput.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

namespace {

using WhisperEngine::Options;

QStringList commonHead(const QString& language) {
    return {"-m",  "model.bin", "-f",   "in.wav",
            "-l",  language,    "-t",   QString::number(WhisperEngine::threads()),
            "-ml", "1",         "-sow", "-ojf",
            "-of", "out",       "-pp",  "-np",
            "-bs", "1",         "-bo",  "1",
            "-fa"};
}

Options opts(const QString& language, bool song, std::optional<QString> prompt) {
    return {{}, language, song, std::move(prompt)};
}

QStringList run(const Options& o, std::optional<QString> vad = {}, std::optional<int> tokens = {}) {
    return WhisperEngine::arguments("model.bin", "in.wav", "out", o, vad, tokens);
}

TEST(WhisperCommand, PlainRunHasTheFixedOrder) {
    EXPECT_EQ(run(opts("en_US", false, std::nullopt)), commonHead("en"));
    EXPECT_EQ(run(opts("", false, QStringLiteral(""))), commonHead("auto"));
    EXPECT_EQ(run(opts("fr", false, QStringLiteral("Bonjour"))),
              (commonHead("fr") + QStringList{"--prompt", "Bonjour"}));
}

TEST(WhisperCommand, LanguageBecomesItsFirstPiece) {
    const QList<std::pair<QString, QString>> cases = {
        {"pt_BR", "pt"}, {"en-US", "en"}, {"zh-Hant-TW", "zh"}, {"DE", "de"},
        {"", "auto"},    {"_", "auto"},   {"-x", "x"},
    };
    for (const auto& [language, code] : cases)
        EXPECT_EQ(WhisperEngine::languageCode(language), code) << language.toStdString();
}

TEST(WhisperCommand, PromptIsCutToSevenHundredCharacters) {
    const QString long701 = QString(700, u'a') + u'b';
    EXPECT_EQ(run(opts("en", false, long701)).last(), QString(700, u'a'));
    // Characters as a person counts them: an accent made of two code points is one.
    const QString accented = QString(699, u'a') + QStringLiteral("e\u0301") + u'z';
    EXPECT_EQ(run(opts("en", false, accented)).last(), QString(699, u'a') + "e\u0301");
}

// Regression: whisper-cli 1.9.1 ignores --prompt when "-mc 0" is given, so song mode and pasted
// lyrics lost their prompt. The prompt now opens every window and fills the text context.
TEST(WhisperCommand, SongModeKeepsThePromptAndCarriesNoText) {
    const QStringList vadTail = {"--vad", "-vm", "vad.bin", "-vt", "0.35",
                                 "-vsd",  "300", "-vp",     "200"};
    const QString songPrompt = QStringLiteral("♪ Song lyrics, transcribed word for word. ♪");

    const QString vad = QStringLiteral("vad.bin");
    const QStringList songDefault = run(opts("en", true, std::nullopt), vad, 14);
    const QStringList lyrics = run(opts("en", true, QStringLiteral("la la")), std::nullopt, 3);
    // No token count: the prompt's UTF-8 length bounds it from above.
    const QStringList uncounted = run(opts("en", true, QStringLiteral("é")));
    // Nothing to carry: no prompt, and no text context either.
    const QStringList noPrompt = run(opts("en", true, QStringLiteral("")), vad);
    const QStringList noTokens = run(opts("en", true, QStringLiteral("?")), std::nullopt, 0);

    const QStringList head = commonHead("en");
    EXPECT_EQ(songDefault, (head + QStringList{"-mc", "15", "--carry-initial-prompt"} + vadTail +
                            QStringList{"--prompt", songPrompt}));
    EXPECT_EQ(lyrics,
              (head + QStringList{"-mc", "4", "--carry-initial-prompt", "--prompt", "la la"}));
    EXPECT_EQ(uncounted,
              (head + QStringList{"-mc", "3", "--carry-initial-prompt", "--prompt", "é"}));
    EXPECT_EQ(noPrompt, (head + QStringList{"-mc", "0"} + vadTail));
    EXPECT_EQ(noTokens, (head + QStringList{"-mc", "0", "--prompt", "?"}));
}

TEST(WhisperCommand, ThreadsCountPhysicalCoresClamped) {
    struct Case {
        const char* what;
        QList<std::pair<int, int>> cpus; // (package, core) per logical processor
        int threads;
    };
    const int fallback = std::max(QThread::idealThreadCount() / 2, 2);
    const QList<Case> cases = {
        {"four cores, two threads each",
         {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 0}, {0, 1}, {0, 2}, {0, 3}},
         4},
        {"one core", {{0, 0}}, 2},
        {"two packages share core ids", {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}}, 5},
        {"forty cores", {}, 16},
        {"no topology", {}, fallback},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.what);
        if (QString(c.what) == "forty cores") {
            for (int i = 0; i < 40; ++i)
                c.cpus.append({0, i});
        }
        TestFolder root;
        for (qsizetype i = 0; i < c.cpus.size(); ++i) {
            const QString topology = root.path(QStringLiteral("cpu%1/topology").arg(i));
            QDir().mkpath(topology);
            QFile package(topology + "/physical_package_id");
            package.open(QIODevice::WriteOnly);
            package.write(QByteArray::number(c.cpus[i].first) + "\n");
            QFile core(topology + "/core_id");
            core.open(QIODevice::WriteOnly);
            core.write(QByteArray::number(c.cpus[i].second) + "\n");
        }
        QDir().mkpath(root.path("cpufreq")); // not a processor
        EXPECT_EQ(WhisperEngine::threads(root.root()), c.threads);
    }
}

TEST(WhisperCommand, CliComesFromTheEnvironmentWhenExecutable) {
    TestFolder folder;
    const QString script = folder.write("whisper-cli", "#!/bin/sh\n");
    qputenv("BRCT_WHISPER_CLI", script.toUtf8());
    EXPECT_FALSE(WhisperEngine::cliURL().has_value()); // not executable yet
    QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(WhisperEngine::cliURL(), script);
    qputenv("BRCT_WHISPER_CLI", folder.root().toUtf8()); // a folder is no program
    EXPECT_FALSE(WhisperEngine::cliURL().has_value());
    qunsetenv("BRCT_WHISPER_CLI");
}

TEST(WhisperOutput, ProgressOnlyRisesInVisibleStepsAndStopsShortOfTheEnd) {
    WhisperOutput out(100); // a 100-second sound
    struct Step {
        bool stdErr;
        QByteArray bytes;
        std::optional<double> reported;
    };
    const QList<Step> steps = {
        {false, "[00:00:00.000 --> 00:00:10.000]   Hello\n", 0.10},
        {false, "[00:00:10.000 --> 00:00:10.100]   a\n", std::nullopt}, // +0.001
        {false, "[00:00:10.000 --> 00:00:10.300]   b\n", 0.103},
        {true, "whisper_print_progress_callback: progress =  20%\n", 0.20},
        {false, "[00:00:05.000 --> 00:00:08.000]   back\n", std::nullopt},
        {true, "progress = 15%\n", std::nullopt},
        {false, "[00:01:", std::nullopt}, // a line cut between two reads
        {false, "00.000 --> 00:01:", std::nullopt},
        {false, "30.000]   later\n", 0.90},
        {false, "not a [00:00:99.000 --> line]\n", std::nullopt},
        {true, "progress = 279%\n", 0.99},
        {true, "progress = 300%\n", std::nullopt},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.bytes.constData());
        const auto got = s.stdErr ? out.feedStderr(s.bytes) : out.feedStdout(s.bytes);
        ASSERT_EQ(got.has_value(), s.reported.has_value());
        if (got) {
            EXPECT_NEAR(*got, *s.reported, 1e-9);
        }
    }
}

TEST(WhisperOutput, LogKeepsTheLastLinesAndNoticesErrorLines) {
    WhisperOutput out(0.2); // counted as one second
    EXPECT_EQ(out.feedStdout("[00:00:00.000 --> 00:00:00.500]  x\n"), 0.5);
    out.feedStderr("one\n\n  two  \nthree\r\nfour");
    EXPECT_EQ(out.lastLines(), "two three four");
    EXPECT_FALSE(out.sawError());
    out.feedStderr("\nerror: unknown argument: -zz\n");
    EXPECT_TRUE(out.sawError());
    EXPECT_EQ(out.lastLines(), "three four error: unknown argument: -zz");

    WhisperOutput flood(10);
    for (int i = 0; i < 2000; ++i)
        flood.feedStderr(QByteArray(30, 'x') + QByteArray::number(i) + "\n");
    EXPECT_EQ(flood.lastLines(), QString(QByteArray(30, 'x') + "1997 " + QByteArray(30, 'x') +
                                         "1998 " + QByteArray(30, 'x') + "1999"));
    flood.feedStderr(QByteArray(400, 'y'));
    EXPECT_EQ(flood.lastLines().size(), 300);
}

} // namespace
