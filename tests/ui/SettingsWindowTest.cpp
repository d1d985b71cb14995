// The settings window offscreen, with the key in memory, the ElevenLabs service and the model
// repository played by local stand-ins.
#include "../elevenlabs/FakeElevenLabs.h"
#include "../transcribe/FakeModelServer.h"
#include "BCError.h"
#include "ELMemoryKeyStore.h"
#include "ELPreviewPlayer.h"
#include "ELSettings.h"
#include "LWSettingsWindow.h"
#include "LWSpelling.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"
#include "WhisperModels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

using Reply = FakeElevenLabs::Reply;

class SettingsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        server.reply("GET", "/v2/voices", Reply{200, R"({"voices":[{"voice_id":"v-1","name":"Aria"},
                                              {"voice_id":"v-2","name":"Brian"}],
                                   "has_more":false})"});
        server.reply("GET", "/v1/models",
                     Reply{200, R"([{"model_id":"eleven_multilingual_v2","name":"Multilingual v2",
                                     "can_do_text_to_speech":true}])"});
        el = std::make_unique<ELSettings>(std::make_unique<ELMemoryKeyStore>(), testPreferences());
        keys = static_cast<ELMemoryKeyStore*>(&el->keys());
        ASSERT_TRUE(spinUntil([&] { return el->keyChecked(); }));
        QDir(WhisperModels::folder()).removeRecursively();
    }
    void TearDown() override {
        window.reset();
        el.reset();
        models.reset();
    }
    void makeWindow() {
        models = std::make_unique<WhisperModels>(testPreferences());
        window = std::make_unique<LWSettingsWindow>(*el, *models);
    }

    FakeElevenLabs server;
    std::unique_ptr<ELSettings> el;
    ELMemoryKeyStore* keys = nullptr;
    std::unique_ptr<WhisperModels> models;
    std::unique_ptr<LWSettingsWindow> window;
};

TEST_F(SettingsWindow, SavingAKeyNeedsTextAndEmptiesTheField) {
    makeWindow();
    EXPECT_EQ(window->keyStatusLabel()->text(), LWSettingsWindow::keyStatusText(false));
    EXPECT_EQ(window->keyField()->placeholderText(), QStringLiteral("Paste your API key"));
    EXPECT_TRUE(window->removeKeyButton()->isHidden());
    EXPECT_FALSE(window->loadVoicesButton()->isEnabled()) << "no key";

    const struct {
        QString typed;
        bool enabled;
    } cases[] = {{"", false}, {"   ", false}, {"\t \n", false}, {"  sk_ui_key  ", true}};
    for (const auto& c : cases) {
        window->keyField()->setText(c.typed);
        EXPECT_EQ(window->saveKeyButton()->isEnabled(), c.enabled) << c.typed.toStdString();
    }
    window->saveKeyButton()->click();
    EXPECT_TRUE(window->keyField()->text().isEmpty());
    ASSERT_TRUE(spinUntil([&] { return el->hasKey() && !el->busy(); }));
    EXPECT_EQ(keys->item, QByteArray("sk_ui_key")); // stored without the spaces
    EXPECT_EQ(window->keyStatusLabel()->text(),
              QStringLiteral("A key is saved in this computer's keyring."));
    EXPECT_EQ(window->keyField()->placeholderText(),
              QStringLiteral("Paste a new key to replace it"));
    EXPECT_FALSE(window->removeKeyButton()->isHidden());
    EXPECT_FALSE(window->statusLabel()->text().isEmpty());
    EXPECT_EQ(window->statusLabel()->text(), el->status());

    // The saved key loaded the voices: the first one became the choice.
    EXPECT_EQ(window->voicePicker()->count(), 2);
    EXPECT_EQ(window->voicePicker()->currentText(), QStringLiteral("Aria"));
    EXPECT_EQ(window->loadVoicesButton()->text(), QStringLiteral("Reload"));
    EXPECT_FALSE(window->keyField()->text().contains(QStringLiteral("sk_")));
}

TEST_F(SettingsWindow, TheVoicePickerShowsAnEntryForAVoiceNotLoaded) {
    makeWindow();
    EXPECT_EQ(window->voicePicker()->currentText(), QStringLiteral("— load your voices —"));
    el->setVoiceID(QStringLiteral("v-gone"));
    EXPECT_EQ(window->voicePicker()->currentText(), QStringLiteral("Saved voice"));
    EXPECT_EQ(window->loadVoicesButton()->text(), QStringLiteral("Load Voices"));
    EXPECT_EQ(window->previewButton()->text(), QStringLiteral("Preview Voice"));
}

TEST_F(SettingsWindow, TheEngineChoiceIsStoredAndDescribed) {
    makeWindow();
    window->engineButton(ELSettings::Engine::elevenlabs)->click();
    EXPECT_EQ(el->engine(), ELSettings::Engine::elevenlabs);
    EXPECT_EQ(storedPreference(QStringLiteral("el.engine2")).toString(),
              QStringLiteral("elevenlabs"));
    EXPECT_TRUE(window->engineDescriptionLabel()->text().endsWith(
        QStringLiteral("No key saved: the free Whisper engine is used until you add one.")));
    EXPECT_TRUE(window->scribePicker()->isVisibleTo(window.get()));
    const QString first = window->modelRowIds().first();
    EXPECT_FALSE(window->downloadButton(first)->isVisibleTo(window.get())) << "Whisper rows only";

    window->scribePicker()->setCurrentIndex(1);
    emit window->scribePicker()->activated(1);
    EXPECT_EQ(storedPreference(QStringLiteral("el.scribe")).toString(),
              QStringLiteral("scribe_v1"));

    window->engineButton(ELSettings::Engine::apple)->click();
    EXPECT_EQ(storedPreference(QStringLiteral("el.engine2")).toString(), QStringLiteral("apple"));
    EXPECT_EQ(window->engineDescriptionLabel()->text(),
              LWSettingsWindow::engineDescription(ELSettings::Engine::apple, false));

    // A new window over the same settings shows the stored choice.
    window->engineButton(ELSettings::Engine::whisper)->click();
    ELSettings restarted(std::make_unique<ELMemoryKeyStore>(), testPreferences());
    EXPECT_EQ(restarted.engine(), ELSettings::Engine::whisper);
    LWSettingsWindow second(restarted, *models);
    EXPECT_TRUE(second.engineButton(ELSettings::Engine::whisper)->isChecked());
    EXPECT_FALSE(second.scribePicker()->isVisibleTo(&second));
    EXPECT_TRUE(second.downloadButton(first)->isVisibleTo(&second));
}

TEST_F(SettingsWindow, ModelRowsDownloadStopAndNeverListTheVoiceDetector) {
    FakeModelServer repository; // before the window, so the catalog points at it
    makeWindow();
    QStringList choices;
    for (const WhisperModel& model : WhisperModel::choices())
        choices.append(model.id);
    EXPECT_EQ(window->modelRowIds(), choices);
    EXPECT_FALSE(window->modelRowIds().contains(WhisperModel::voiceDetector().id));

    // A slow download of the Small model: clicking Download makes it the choice at once.
    const WhisperModel small = WhisperModel::choices().first();
    FakeModelServer::File slow{QByteArray(2 * 1024 * 1024, 'm')};
    slow.chunkDelayMs = 200;
    repository.serve(QUrl(small.urlString).path(), slow);
    models->setModelID(WhisperModel::defaultID());
    window->downloadButton(small.id)->click();
    EXPECT_EQ(models->modelID(), small.id);
    ASSERT_TRUE(spinUntil([&] { return models->downloading() == small.id; }));
    EXPECT_FALSE(window->progressBar(small.id)->isHidden());
    EXPECT_FALSE(window->stopButton(small.id)->isHidden());
    EXPECT_TRUE(window->downloadButton(small.id)->isHidden());

    window->stopButton(small.id)->click();
    ASSERT_TRUE(spinUntil([&] { return !models->taskRunning(); }, 20000));
    EXPECT_EQ(models->modelID(), small.id); // stopping keeps the choice
    EXPECT_TRUE(window->progressBar(small.id)->isHidden());
    EXPECT_FALSE(window->downloadButton(small.id)->isHidden());
}

// "Preview Voice" without a key or without a voice used to do nothing the person could see.
TEST_F(SettingsWindow, PreviewSaysWhyItCannotSpeakUntilThereIsAKeyAndAVoice) {
    makeWindow();
    EXPECT_TRUE(window->previewNote()->isHidden());
    window->previewButton()->click();
    EXPECT_FALSE(window->previewNote()->isHidden());
    EXPECT_EQ(window->previewNote()->text(),
              QStringLiteral("The preview speaks through ElevenLabs: save your API key above, "
                             "click Load Voices and pick a voice, then try again."));
    EXPECT_FALSE(window->previewBusy());

    keys->item = "sk_key";
    el->refreshKey();
    ASSERT_TRUE(spinUntil([&] { return el->hasKey(); }));
    ASSERT_TRUE(el->voiceID().isEmpty());
    EXPECT_EQ(window->previewNote()->text(),
              QStringLiteral("Choose a voice first: click Load Voices and pick one."));
    window->previewButton()->click();
    EXPECT_FALSE(window->previewNote()->isHidden());
    EXPECT_FALSE(window->previewBusy());
    spinUntil([] { return false; }, 100);
    EXPECT_TRUE(server.requests().isEmpty()) << "nothing was sent to ElevenLabs";

    el->setVoiceID(QStringLiteral("v-1"));
    EXPECT_TRUE(window->previewNote()->isHidden());
}

// A preview went on playing, or started playing later, after the window had been closed.
TEST_F(SettingsWindow, ClosingTheWindowStopsThePreviewPlayingOrBeingMade) {
    MediaFixtures media;
    const QString long_ = media.file(QStringLiteral("long.mp3"));
    ASSERT_TRUE(MediaFixtures::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=20",
                                       "-c:a", "libmp3lame", "-b:a", "32k", long_}));
    QFile file(long_);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray mp3 = file.readAll();
    keys->item = "sk_key";
    el->refreshKey();
    ASSERT_TRUE(spinUntil([&] { return el->hasKey(); }));
    el->setVoiceID(QStringLiteral("v-1"));
    makeWindow();
    auto* player = window->findChild<ELPreviewPlayer*>();
    ASSERT_NE(player, nullptr);

    server.reply("POST", "/v1/text-to-speech/v-1", Reply(200, mp3, "audio/mpeg"));
    window->show();
    window->previewButton()->click();
    ASSERT_TRUE(spinUntil([&] { return player->playing(); }, 20000));
    EXPECT_EQ(window->previewButton()->text(), QStringLiteral("Stop"));
    window->close();
    EXPECT_FALSE(player->playing());
    ASSERT_TRUE(spinUntil([&] { return !window->previewBusy(); }));

    // Closed while ElevenLabs is still answering: the answer is never played.
    server.reply("POST", "/v1/text-to-speech/v-1", Reply(200, mp3, "audio/mpeg").after(600));
    window->show();
    window->previewButton()->click();
    EXPECT_TRUE(window->previewBusy());
    const auto spoken = [&] {
        qsizetype count = 0;
        for (const FakeElevenLabs::Request& request : server.requests())
            count += request.method == QStringLiteral("POST");
        return count;
    };
    ASSERT_TRUE(spinUntil([&] { return spoken() == 2; }, 10000));
    window->close();
    bool played = false;
    const QObject listening; // ends the connection before `played` goes
    QObject::connect(player, &ELPreviewPlayer::playingChanged, &listening, [&] { played = true; });
    spinUntil([] { return false; }, 1500);
    EXPECT_FALSE(played);
    EXPECT_FALSE(window->previewBusy());
    EXPECT_EQ(window->previewButton()->text(), QStringLiteral("Preview Voice"));
}

TEST_F(SettingsWindow, EachModelShowsItsNoteAndTheFolderIsTheRealOne) {
    makeWindow();
    window->show();
    for (const WhisperModel& model : WhisperModel::choices()) {
        SCOPED_TRACE(model.id.toStdString());
        QLabel* note = window->noteLabel(model.id);
        ASSERT_NE(note, nullptr);
        EXPECT_FALSE(model.note.isEmpty());
        EXPECT_EQ(note->text(), model.note);
        EXPECT_TRUE(note->isVisibleTo(window.get()));
    }
    // The tests' data folder is a temporary one (XDG_DATA_HOME), never ~/.local/share.
    const QString folder = WhisperModels::folder();
    ASSERT_FALSE(folder.startsWith(QDir::homePath() + u'/'));
    EXPECT_EQ(window->folderLabel()->text(),
              QStringLiteral("Models are downloaded once from Hugging Face, checked with a "
                             "SHA-256 safety checksum, and kept in “%1”.")
                  .arg(folder));
    EXPECT_FALSE(window->folderLabel()->text().contains(QStringLiteral(".local/share")));
    EXPECT_TRUE(LWSettingsWindow::folderText(QDir::homePath() +
                                             QStringLiteral("/.local/share/BRCT Lorowen Pro/"
                                                            "Whisper Models"))
                    .endsWith(QStringLiteral(" kept in “~/.local/share/BRCT Lorowen Pro/Whisper "
                                             "Models”.")));
}

// The row's Stop used to reach only a download the window itself had started, not one a
// transcription had asked for.
TEST_F(SettingsWindow, TheRowStopEndsADownloadATranscriptionStarted) {
    FakeModelServer repository;
    makeWindow();
    const WhisperModel small = WhisperModel::choices().first();
    FakeModelServer::File slow{QByteArray(2 * 1024 * 1024, 'm')};
    slow.chunkDelayMs = 200;
    repository.serve(QUrl(small.urlString).path(), slow);
    std::stop_source job; // the transcription's own token, which nobody stops
    std::optional<bool> cancelled;
    models->ensure(
        {small}, {},
        [&](std::exception_ptr error) {
            cancelled = false;
            try {
                if (error)
                    std::rethrow_exception(error);
            } catch (const BCCancelled&) {
                cancelled = true;
            } catch (...) {
            }
        },
        job.get_token());
    ASSERT_TRUE(spinUntil([&] { return models->downloading() == small.id; }));
    ASSERT_FALSE(window->stopButton(small.id)->isHidden());
    window->stopButton(small.id)->click();
    ASSERT_TRUE(spinUntil([&] { return cancelled.has_value(); }, 20000));
    EXPECT_TRUE(*cancelled);
    EXPECT_TRUE(window->stopButton(small.id)->isHidden());
    EXPECT_FALSE(window->downloadButton(small.id)->isHidden());
    EXPECT_FALSE(models->installed(small));
}

// "Use the graphics card for Whisper": shown with the card's name and on by default when one can
// be used, stored when turned off, and disabled with the reason when there is none.
TEST_F(SettingsWindow, TheGraphicsCardChoiceNamesTheCardOrSaysWhyNot) {
    makeWindow();
    using WhisperDevices::Device;
    using WhisperDevices::Kind;
    const Device card{1, "AMD Radeon RX 7600", Kind::discreteGpu, true};
    const Device software{0, "llvmpipe (LLVM 15.0.6, 256 bits)", Kind::cpu, true};
    QCheckBox* box = window->gpuBox();
    EXPECT_EQ(box->text(), "Use the graphics card for Whisper");

    window->showDevices({software, card}, false, true);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(window->gpuLabel()->text().startsWith("Found: AMD Radeon RX 7600 — discrete GPU."));
    box->click();
    EXPECT_FALSE(models->useGPU());
    EXPECT_FALSE(WhisperModels(testPreferences()).useGPU()); // remembered
    box->click();
    EXPECT_TRUE(models->useGPU());

    struct Case {
        const char* what;
        QList<Device> devices;
        bool installed;
        QString sentence;
    };
    const QList<Case> cases = {
        {"none",
         {},
         true,
         "No graphics card that Whisper can use was found (a Vulkan driver is needed), so "
         "Whisper runs on the processor."},
        {"the software driver only",
         {software},
         true,
         "No graphics card that Whisper can use was found (a Vulkan driver is needed), so "
         "Whisper runs on the processor."},
        {"no Vulkan variant",
         {card},
         false,
         "The graphics-card version of the Whisper engine isn't installed, so Whisper runs on "
         "the processor."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        window->showDevices(c.devices, false, c.installed);
        EXPECT_FALSE(box->isEnabled());
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(window->gpuLabel()->text(), c.sentence);
        EXPECT_TRUE(models->useGPU()); // the preference itself is kept
    }
}

} // namespace

namespace {

TEST_F(SettingsWindow, TheSpellingLineNamesTheDictionaryOrThePackageThatAddsIt) {
    makeWindow();
    TestFolder folder;
    folder.write(QStringLiteral("de_DE.aff"), "SET UTF-8\n");
    folder.write(QStringLiteral("de_DE.dic"), "0\n");
    auto spelling = std::make_unique<LWSpelling>(QStringList{folder.root()},
                                                 folder.path(QStringLiteral("words.txt")));
    spelling->setLanguage(QStringLiteral("de"));
    window->setSpelling(spelling.get());
    EXPECT_TRUE(window->spellingLabel()->text().startsWith(
        QStringLiteral("Spelling is checked with the German (Germany) dictionary")));
    // The line follows the transcription language.
    spelling->setLanguage(QStringLiteral("fr-FR"));
    EXPECT_EQ(window->spellingLabel()->text(),
              QStringLiteral("No spelling dictionary for French is installed. Install the "
                             "hunspell-fr package to check spelling."));
    // The store's spelling going away (the window outlives it) takes its line along.
    spelling.reset();
    EXPECT_TRUE(window->spellingLabel()->text().isEmpty());
}

// The delivery checks' limits: shown from the store, set in it, and following it.
TEST_F(SettingsWindow, TheDeliveryLimitsAreSetHereAndFollowTheStore) {
    makeWindow();
    EXPECT_FALSE(window->speedField()->isEnabled()); // no document yet
    ScriptedHooks hooks;
    TestServices services;
    LWStore store{hooks, services.get(), QStringLiteral("en_US")};
    window->setChecks(&store);
    EXPECT_TRUE(window->speedField()->isEnabled());
    EXPECT_EQ(window->speedField()->value(), 17);
    EXPECT_EQ(window->unsureField()->value(), 50);

    window->speedField()->setValue(20);
    window->unsureField()->setValue(35);
    EXPECT_EQ(store.checkLimits().maxCharsPerSecond, 20);
    EXPECT_DOUBLE_EQ(store.checkLimits().minConfidence, 0.35);

    CaptionChecks::Limits limits = store.checkLimits();
    limits.maxCharsPerSecond = 15;
    store.setCheckLimits(limits);
    EXPECT_EQ(window->speedField()->value(), 15);
    window->setChecks(nullptr);
    EXPECT_FALSE(window->unsureField()->isEnabled());
}

} // namespace
