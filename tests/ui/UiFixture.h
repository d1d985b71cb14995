#pragma once

#include "FakePlayer.h"
#include "LWStore.h"
#include "ScriptedHooks.h"
#include "TestServices.h"

#include <QUuid>
#include <gtest/gtest.h>
#include <memory>

// A store with a deterministic player, a media file of `duration` seconds "open" (without
// opening anything) and helpers to lay out captions.

class UiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_unique<LWStore>(hooks, services.get(), QStringLiteral("en_US"));
        auto fake = std::make_unique<FakePlayer>();
        player = fake.get();
        store->setPlayer(std::move(fake));
    }

    void openMedia(double duration, bool video = true) {
        BCOpenedMedia media;
        media.original = QUrl::fromLocalFile(QStringLiteral("/tmp/clip.mp4"));
        media.playable = media.original;
        media.duration = duration;
        media.hasVideo = video;
        media.hasAudio = true;
        media.naturalSize = video ? QSize(1920, 1080) : QSize(0, 0);
        store->setMedia(media);
    }

    // Captions [start, end) with texts "c0", "c1", …
    void setCaptions(std::initializer_list<std::pair<double, double>> spans) {
        Captions list;
        int n = 0;
        for (auto [start, end] : spans)
            list.append(Caption::make(start, end, QStringLiteral("c%1").arg(n++)));
        store->setCaptions(list);
    }

    TestServices services; // outlives the store
    ScriptedHooks hooks;
    FakePlayer* player = nullptr;
    std::unique_ptr<LWStore> store;
};
