#include "LWStore.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <gtest/gtest.h>

namespace {

class StoreStart : public ::testing::Test {
protected:
    void SetUp() override { clearPreferences(); }
    ScriptedHooks hooks;
};

TEST_F(StoreStart, InitialValues) {
    TestServices services;
    LWStore store(hooks, services.get(), QStringLiteral("en_US"));
    EXPECT_EQ(store.title(), QStringLiteral("No file open"));
    EXPECT_TRUE(store.captions().isEmpty());
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(store.progress().has_value());
    EXPECT_TRUE(store.sidecars());
    EXPECT_TRUE(store.markSpeakers());
    EXPECT_FALSE(store.songMode());
    EXPECT_TRUE(store.preferOnDevice());
    EXPECT_EQ(store.rules(), CaptionMath::Rules{});
    EXPECT_EQ(store.rules().maxCharsPerLine, 42);
}

TEST_F(StoreStart, LanguageFromTheSystemLocale) {
    const QList<std::pair<QString, QString>> cases = {{"en_US", "en-US"},
                                                      {"en_GB", "en-US"},
                                                      {"en", "en-US"},
                                                      {"fr_FR", "fr_FR"},
                                                      {"de_AT", "de_AT"}};
    for (const auto& [locale, language] : cases) {
        TestServices services;
        LWStore store(hooks, services.get(), locale);
        EXPECT_EQ(store.language(), language) << locale.toStdString();
    }
}

TEST_F(StoreStart, StoredPreferencesWin) {
    storePreference(QStringLiteral("lw.language"), QStringLiteral("pt-BR"));
    storePreference(QStringLiteral("lw.sidecars"), false);
    storePreference(QStringLiteral("lw.markSpeakers"), false);
    storePreference(QStringLiteral("lw.songMode"), true);
    TestServices services;
    LWStore store(hooks, services.get(), QStringLiteral("en_US"));
    EXPECT_EQ(store.language(), QStringLiteral("pt-BR"));
    EXPECT_FALSE(store.sidecars());
    EXPECT_FALSE(store.markSpeakers());
    EXPECT_TRUE(store.songMode());
}

TEST_F(StoreStart, PersistingSettersAreReadBackByTheNextStore) {
    {
        TestServices services;
        LWStore store(hooks, services.get(), QStringLiteral("en_US"));
        store.setLanguage(QStringLiteral("de-DE"));
        store.setSidecars(false);
        store.setSongMode(true);
        store.setMarkSpeakers(false);
        store.setPreferOnDevice(false); // not persisted
    }
    TestServices restarted;
    LWStore again(hooks, restarted.get(), QStringLiteral("en_US"));
    EXPECT_EQ(again.language(), QStringLiteral("de-DE"));
    EXPECT_FALSE(again.sidecars());
    EXPECT_TRUE(again.songMode());
    EXPECT_FALSE(again.markSpeakers());
    EXPECT_TRUE(again.preferOnDevice());
}

TEST_F(StoreStart, TitleNamesTheChosenFileEvenWhenAConvertedCopyPlays) {
    TestServices services;
    LWStore store(hooks, services.get(), QStringLiteral("en_US"));
    BCOpenedMedia media;
    media.original = QUrl::fromLocalFile(QStringLiteral("/home/me/Holiday clip.mts"));
    media.playable = QUrl::fromLocalFile(QStringLiteral("/cache/abc.mov"));
    media.converted = true;
    store.setMedia(media);
    EXPECT_EQ(store.title(), QStringLiteral("Holiday clip.mts"));
}

TEST_F(StoreStart, StyleIsRememberedAndABadOneFallsBack) {
    {
        TestServices services;
        LWStore store(hooks, services.get(), QStringLiteral("en_US"));
        EXPECT_EQ(store.style().name, QStringLiteral("Broadcast"));
        store.setStyle(CaptionStyle::presets()[4]);
    }
    TestServices restarted;
    LWStore again(hooks, restarted.get(), QStringLiteral("en_US"));
    EXPECT_EQ(again.style(), CaptionStyle::presets()[4]);

    storePreference(QStringLiteral("lw.style"), QByteArray(R"({"name":"Half"})"));
    TestServices third;
    LWStore fallback(hooks, third.get(), QStringLiteral("en_US"));
    EXPECT_EQ(fallback.style(), CaptionStyle::presets()[0]);
}

} // namespace
