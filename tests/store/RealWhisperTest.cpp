// The whole transcription pipeline once through the real whisper-cli: the chosen model counts as
// installed (a sparse file of the catalog's size with its marker), and a small wrapper placed as
// the helper swaps the model argument for the tiny random-weight test model before running the
// real program. The wrapper also passes "-nf": random weights never pass the decoder's quality
// checks, and retrying at five more temperatures would only make the test slow.
#include "LWProject.h"
#include "RecognitionFixture.h"

#include <QFileInfo>

namespace {

const QString kSentence =
    QStringLiteral(LOROWEN_SPHINX_LIBRIVOX "/sense_and_sensibility_01_austen_64kb-0880.wav");

class RealWhisper : public RecognitionFixture {};

TEST_F(RealWhisper, WordsBecomeCaptionsAndAreAutosaved) {
    const QString real = QStringLiteral(LOROWEN_HELPERS_DIR "/whisper-cli");
    if (!QFileInfo(real).isExecutable())
        GTEST_SKIP() << "whisper-cli is not built (scripts/build-whisper-cli)";
    installModel(chosen());
    const QString wrapper = fixtures.script(
        QStringLiteral("whisper-cli"),
        QStringLiteral("#!/bin/sh\n"
                       "prev=\n"
                       "for a in \"$@\"; do\n"
                       "    shift\n"
                       "    if [ \"$prev\" = -m ]; then set -- \"$@\" '%1'; else set -- \"$@\" "
                       "\"$a\"; fi\n"
                       "    prev=$a\n"
                       "done\n"
                       "exec '%2' \"$@\" -nf\n")
            .arg(QStringLiteral(LOROWEN_TEST_MODELS "/test-random-tiny-ggml.bin"), real)
            .toUtf8());
    qputenv("BRCT_WHISPER_CLI", wrapper.toUtf8());

    openAndWait(kSentence);
    store->transcribe();
    waitForEnd(300000);
    ASSERT_TRUE(hooks.alerts.isEmpty()) << alertText().toStdString();
    ASSERT_FALSE(store->captions().isEmpty()) << store->note().toStdString();
    EXPECT_EQ(store->note(), QStringLiteral("Made %1 captions with Whisper on this computer "
                                            "(processor). Check names and spellings before "
                                            "exporting.")
                                 .arg(store->captions().size()));
    EXPECT_TRUE(store->lastWhisperSpeed().has_value());
    for (const Caption& c : store->captions()) {
        EXPECT_FALSE(c.text.trimmed().isEmpty());
        // Ends are cut back to the file's end, but never to less than 0.1 s after the start.
        EXPECT_LE(c.end, std::max(c.start + 0.1, store->media()->duration) + 1e-9);
    }
    // Every word carries the recogniser's confidence, where it stands in its caption.
    qsizetype scored = 0;
    for (const Caption& c : store->captions()) {
        EXPECT_EQ(c.standingConfidence(), c.confidence) << c.text.toStdString();
        scored += c.confidence.size();
    }
    EXPECT_GT(scored, 0);
    // The new list, confidence and all, is saved for the file after the autosave pause.
    const QString project = LWProject::fileFor(kSentence);
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(project); }, 5000));
    QFile saved(project);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const auto read = LWProject::decode(saved.readAll());
    ASSERT_TRUE(read.has_value());
    for (qsizetype i = 0; i < read->size(); ++i) {
        EXPECT_EQ((*read)[i].confidence.size(), store->captions()[i].confidence.size());
        for (qsizetype k = 0; k < (*read)[i].confidence.size(); ++k)
            EXPECT_NEAR((*read)[i].confidence[k].value, store->captions()[i].confidence[k].value,
                        0.0005);
    }
}

} // namespace
