// The offline recogniser chosen as the engine, through the store, on a recorded sentence.
#include "ELSettings.h"
#include "RecognitionFixture.h"
#include "TestServices.h"

namespace {

const QString kSentence =
    QStringLiteral(LOROWEN_SPHINX_LIBRIVOX "/sense_and_sensibility_01_austen_64kb-0870.wav");

class SpeechEngine : public RecognitionFixture {
protected:
    void SetUp() override {
        RecognitionFixture::SetUp();
        services.elevenLabs.setEngine(ELSettings::Engine::apple);
    }
    void TearDown() override {
        services.elevenLabs.setEngine(ELSettings::Engine::whisper);
        RecognitionFixture::TearDown();
    }
};

TEST_F(SpeechEngine, TranscribesARecordedSentenceIntoCaptions) {
    openWithCaptions(kSentence);
    hooks.questionAnswers = {0}; // Replace
    QStringList notes;
    QObject::connect(store.get(), &LWStore::busyChanged, [&] { notes.append(store->busy()); });
    store->transcribe();
    waitForEnd(120000);
    ASSERT_TRUE(hooks.alerts.isEmpty()) << alertText().toStdString();
    EXPECT_TRUE(notes.contains(QStringLiteral("Listening on this computer…")));
    ASSERT_FALSE(store->captions().isEmpty());
    EXPECT_EQ(store->note(),
              QStringLiteral("Made %1 captions on this computer. Check names and spellings "
                             "before exporting. Previous captions: Captions > Restore Previous "
                             "Captions.")
                  .arg(store->captions().size()));
    EXPECT_EQ(store->previousCaptions(), old);
    QString text;
    for (const Caption& c : store->captions()) {
        text += c.text + u' ';
        EXPECT_LE(c.end, store->media()->duration + 1e-9);
    }
    // PocketSphinx hears most of "…had then leisure to consider how much there might be…".
    for (const char* word : {"leisure", "consider", "much", "power"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(word), Qt::CaseInsensitive))
            << word << " not in: " << text.toStdString();
    EXPECT_FALSE(QFile::exists(engine.path("args"))); // Whisper never ran
}

TEST_F(SpeechEngine, ALanguageWithoutAModelFailsWithItsSentence) {
    openAndWait(kSentence);
    store->setLanguage(QStringLiteral("fr-FR"));
    store->transcribe();
    waitForEnd();
    EXPECT_EQ(alertText(), QStringLiteral("Transcription didn't finish/Speech recognition "
                                          "doesn't support fr-FR on this computer."));
    EXPECT_TRUE(store->captions().isEmpty());
}

TEST_F(SpeechEngine, StoppingLeavesTheDocumentAsItWas) {
    openWithCaptions(kSentence);
    hooks.questionAnswers = {0};
    store->transcribe();
    ASSERT_TRUE(
        spinUntil([&] { return store->busy().startsWith(QStringLiteral("Listening")); }, 60000));
    store->cancelWork();
    waitForEnd();
    EXPECT_EQ(store->note(), QStringLiteral("Transcription stopped."));
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(store->captions(), old);
    EXPECT_FALSE(store->previousCaptions().has_value());
}

} // namespace
