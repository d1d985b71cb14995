// `lorowen-cli transcribe` with the offline recogniser on a recorded sentence, and with pasted
// lyrics timed against a stand-in whisper-cli.
#include "CliRunner.h"
#include "InstalledModel.h"
#include "LWProject.h"
#include "MediaFixtures.h"
#include "TestFiles.h"
#include "WhisperModel.h"
#include "WhisperModels.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

CliRun transcribe(const QStringList& arguments) {
    QProcess process;
    process.start(cliWithFakeEngine(), QStringList{QStringLiteral("transcribe")} << arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

class CliSpeech : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(WhisperModels::folder()).removeRecursively();
        qputenv("FAKE_DIR", engine.root().toUtf8());
        engine.write("json", R"({"transcription": [
            {"offsets": {"from": 100, "to": 500}, "text": " Hello"},
            {"offsets": {"from": 500, "to": 900}, "text": " there"}]})");
    }

    MediaFixtures fixtures;
    TestFolder engine;
    TestFolder out;
};

TEST_F(CliSpeech, TheOfflineEngineTranscribesARecording) {
    const QString media =
        QStringLiteral(LOROWEN_SPHINX_LIBRIVOX "/sense_and_sensibility_01_austen_64kb-0880.wav");
    const QString srt = out.path(QStringLiteral("sentence.srt"));
    const CliRun r = transcribe({media, QStringLiteral("-o"), srt, QStringLiteral("--engine"),
                                 QStringLiteral("speech"), QStringLiteral("--language"),
                                 QStringLiteral("en-US")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Made 1 captions on this computer.")))
        << r.out.toStdString();
    // "he was not an ill disposed young man"
    const QString text = QString::fromUtf8(out.read(QStringLiteral("sentence.srt")));
    EXPECT_TRUE(text.contains(QStringLiteral("young man"))) << text.toStdString();
    EXPECT_TRUE(text.startsWith(QStringLiteral("1\n00:00:00,"))) << text.toStdString();
    EXPECT_FALSE(QFile::exists(engine.path(QStringLiteral("args")))); // Whisper never ran
    EXPECT_FALSE(QFile::exists(LWProject::fileFor(media)));
}

TEST_F(CliSpeech, RefusesWhatItCannotDo) {
    const QString media = fixtures.tone(QStringLiteral("talk.wav"), 2.0);
    const QString srt = out.path(QStringLiteral("talk.srt"));
    const QString labels = out.write(QStringLiteral("labels.txt"), "[Chorus]\n(x2)\n");
    struct Row {
        const char* what;
        QStringList extra;
        int status;
        QString says;
    };
    const Row rows[] = {
        {"an unknown engine",
         {QStringLiteral("--engine"), QStringLiteral("cloud")},
         2,
         QStringLiteral("unknown engine cloud (known: whisper, speech, scribe)")},
        {"lyrics with the offline engine",
         {QStringLiteral("--engine"), QStringLiteral("speech"), QStringLiteral("--lyrics"), labels},
         2,
         QStringLiteral("leave out --engine speech")},
        {"a language without a model",
         {QStringLiteral("--engine"), QStringLiteral("speech"), QStringLiteral("--language"),
          QStringLiteral("fr-FR")},
         3,
         QStringLiteral("Speech recognition doesn't support fr-FR on this computer.")},
        {"lyrics that are only labels",
         {QStringLiteral("--lyrics"), labels},
         3,
         QStringLiteral("“labels.txt” holds no lyrics")},
        {"a lyrics file that isn't there",
         {QStringLiteral("--lyrics"), out.path(QStringLiteral("missing.txt"))},
         3,
         QStringLiteral("missing.txt")},
    };
    for (const Row& row : rows) {
        const CliRun r = transcribe(QStringList{media, QStringLiteral("-o"), srt} + row.extra);
        EXPECT_EQ(r.status, row.status) << row.what;
        EXPECT_TRUE(r.err.contains(row.says)) << row.what << ": " << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(srt)) << row.what;
    }
}

TEST_F(CliSpeech, LyricsAreTimedAgainstTheSong) {
    installModel(WhisperModel::byID(WhisperModel::defaultID()));
    installModel(WhisperModel::voiceDetector());
    const QString media = fixtures.tone(QStringLiteral("song.wav"), 2.0, 44100, 2);
    const QString lyrics =
        out.write(QStringLiteral("lyrics.txt"), "[Verse]\nHello, there!\nGoodbye now\n");
    const QString srt = out.path(QStringLiteral("song.srt"));
    const CliRun r =
        transcribe({media, QStringLiteral("-o"), srt, QStringLiteral("--lyrics"), lyrics});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Lined up 2 lyric captions (50% of the words")))
        << r.out.toStdString();
    const QString text = QString::fromUtf8(out.read(QStringLiteral("song.srt")));
    EXPECT_TRUE(text.contains(QStringLiteral("Hello, there!\n\n2\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Goodbye now"))) << text.toStdString();
    const QString args = QString::fromUtf8(engine.read(QStringLiteral("args")));
    EXPECT_TRUE(args.contains(QStringLiteral("Hello, there! Goodbye now"))) << args.toStdString();
}

} // namespace
