#pragma once

// A store with scripted answers, a stand-in whisper-cli writing canned words, and helpers to
// install models and open files, for the transcription, recogniser and lyrics tests.
#include "FakePlayer.h"
#include "InstalledModel.h"
#include "LWProject.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"
#include "WhisperModels.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

class RecognitionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        QDir(LWProject::folder()).removeRecursively();
        QDir(WhisperModels::folder()).removeRecursively();
        qputenv("BRCT_WHISPER_CLI", LOROWEN_FAKE_CLI);
        qputenv("FAKE_DIR", engine.root().toUtf8());
        qunsetenv("FAKE_MODE");
        qunsetenv("FAKE_EXIT");
        store = std::make_unique<LWStore>(hooks, services.get(), QStringLiteral("en_US"));
        store->setPlayer(std::make_unique<FakePlayer>());
    }
    void TearDown() override {
        store.reset();
        qunsetenv("BRCT_WHISPER_CLI");
        qunsetenv("FAKE_MODE");
        qunsetenv("FAKE_EXIT");
    }

    WhisperModel chosen() const { return WhisperModel::byID(services.models.modelID()); }

    void openAndWait(const QString& path) {
        store->open(path);
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 60000));
        ASSERT_TRUE(store->media().has_value());
    }
    void waitForEnd(int ms = 60000) {
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, ms));
    }
    // Opens `path` with a one-caption list and an empty undo history.
    void openWithCaptions(const QString& path) {
        openAndWait(path);
        store->setCaptions({Caption::make(0.2, 1.0, QStringLiteral("Old words"))});
        store->resetHistory();
        old = store->captions();
    }
    QString alertText() const {
        return hooks.alerts.isEmpty()
                   ? QString()
                   : hooks.alerts.first().title + u'/' + hooks.alerts.first().message;
    }

    MediaFixtures fixtures;
    TestFolder engine;
    TestServices services; // outlives the store
    ScriptedHooks hooks;
    std::unique_ptr<LWStore> store;
    Captions old;
};
