// The Paste Lyrics job through the store: its refusals, the Whisper run in song mode with the
// lyrics as prompt, the note, and a stop or failure leaving the document as it was.
#include "RecognitionFixture.h"

namespace {

const QByteArray kHeard = R"({"transcription": [
    {"offsets": {"from": 100, "to": 500}, "text": " Hello"},
    {"offsets": {"from": 500, "to": 900}, "text": " there"}]})";

class PasteLyrics : public RecognitionFixture {
protected:
    void SetUp() override {
        RecognitionFixture::SetUp();
        engine.write("json", kHeard);
        installModel(chosen());
        installModel(WhisperModel::voiceDetector());
    }
    bool engineRan() const { return QFile::exists(engine.path("args")); }
};

TEST_F(PasteLyrics, RefusesWithoutFileSoundLyricsOrWhileBusy) {
    store->alignLyrics(QStringLiteral("Hello there"));
    EXPECT_EQ(hooks.openPanels.size(), 1);

    openAndWait(fixtures.path(MediaFixtures::videoOnly));
    store->alignLyrics(QStringLiteral("Hello there"));
    EXPECT_EQ(alertText(),
              QStringLiteral("No sound track/This file has no audio to align the lyrics to."));

    hooks.alerts.clear();
    openAndWait(fixtures.tone(QStringLiteral("song.wav"), 2.0, 44100, 2));
    store->alignLyrics(QStringLiteral("[Chorus]\n(x2)\n  \n"));
    EXPECT_EQ(alertText(),
              QStringLiteral("No lyrics/Paste the song's lyrics first (one line per caption)."));

    qputenv("FAKE_MODE", "hang");
    store->alignLyrics(QStringLiteral("Hello there"));
    ASSERT_TRUE(store->isBusy());
    EXPECT_EQ(store->busy(), QStringLiteral("Getting ready…"));
    store->alignLyrics(QStringLiteral("Hello there"));
    EXPECT_EQ(hooks.beeps, 1);
    store->cancelWork();
    waitForEnd();
    EXPECT_EQ(store->note(), QStringLiteral("Lyric alignment stopped."));
    EXPECT_EQ(hooks.alerts.size(), 1);
    EXPECT_TRUE(store->captions().isEmpty());
    EXPECT_FALSE(store->previousCaptions().has_value());
}

TEST_F(PasteLyrics, TimesThePastedWordsAndKeepsThePreviousCaptions) {
    openWithCaptions(fixtures.tone(QStringLiteral("song.wav"), 2.0, 44100, 2));
    store->alignLyrics(QStringLiteral("[Verse]\nHello, there!\nGoodbye now"));
    waitForEnd();
    ASSERT_TRUE(hooks.alerts.isEmpty()) << alertText().toStdString();
    // Whisper heard the song with the kept lines (labels left out) as its prompt.
    const QString args = QString::fromUtf8(engine.read("args"));
    EXPECT_TRUE(args.contains(QStringLiteral("Hello, there! Goodbye now"))) << args.toStdString();
    ASSERT_EQ(store->captions().size(), 2);
    EXPECT_EQ(store->captions()[0].text, QStringLiteral("Hello, there!"));
    EXPECT_EQ(store->captions()[1].text, QStringLiteral("Goodbye now"));
    EXPECT_LT(store->captions()[0].start, 0.5);
    EXPECT_LE(store->captions()[1].end, 2.0 + 1e-9);
    EXPECT_EQ(store->note(),
              QStringLiteral("Lined up 2 lyric captions (50% of the words were heard; the rest "
                             "were timed between them). Words are exactly as pasted — nudge any "
                             "timing with [ and ] or the ± buttons."));
    EXPECT_EQ(store->previousCaptions(), old);
    EXPECT_FALSE(store->isBusy());
    EXPECT_FALSE(store->progress().has_value());
    store->undo();
    EXPECT_EQ(store->captions(), old);
}

TEST_F(PasteLyrics, AFailedRunShowsItsAlertAndChangesNothing) {
    qputenv("FAKE_EXIT", "1");
    openWithCaptions(fixtures.tone(QStringLiteral("song.wav"), 2.0, 44100, 2));
    store->alignLyrics(QStringLiteral("Hello there"));
    waitForEnd();
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Lyrics couldn't be lined up"));
    EXPECT_FALSE(hooks.alerts[0].message.isEmpty());
    EXPECT_EQ(store->captions(), old);
    EXPECT_FALSE(store->previousCaptions().has_value());
}

TEST(PasteLyricsNote, PercentOfHeardWordsIsTruncated) {
    const struct {
        int matched;
        int total;
        const char* percent;
    } rows[] = {{30, 40, "(75%"}, {2, 3, "(66%"}, {0, 0, "(0%"}, {40, 40, "(100%"}};
    for (const auto& row : rows)
        EXPECT_TRUE(LWTranscription::alignedNote(5, row.matched, row.total)
                        .contains(QString::fromLatin1(row.percent)))
            << row.matched << "/" << row.total;
}

} // namespace
