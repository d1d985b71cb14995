// The settings window offscreen, with the key in memory, the ElevenLabs service and the model
// repository played by local stand-ins.
#include "../elevenlabs/FakeElevenLabs.h"
#include "../transcribe/FakeModelServer.h"
#include "ELMemoryKeyStore.h"
#include "ELSettings.h"
#include "LWSettingsWindow.h"
#include "TestFiles.h"
#include "WhisperModels.h"

#include <QComboBox>
#include <QDir>
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

} // namespace
