// Timing the captioner relies on: "Play from here" plays, the play button is right at the end of
// the file, playback without a sound output says so once, and the waveform sits at the sound's
// own times when the sound is shorter than the picture or starts after it.
#include "FakePlayer.h"
#include "LWCaptionRow.h"
#include "LWHeader.h"
#include "LWLane.h"
#include "LWMainWindow.h"
#include "LWStack.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "TestFiles.h"
#include "TestServices.h"
#include "UiFixture.h"

#include <QApplication>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class WindowTiming : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<LWMainWindow>(services.get());
        auto fake = std::make_unique<FakePlayer>();
        player = fake.get();
        store().setPlayer(std::move(fake));
        BCOpenedMedia media;
        media.original = QUrl::fromLocalFile(QStringLiteral("/tmp/timing.mp4"));
        media.playable = media.original;
        media.duration = 30;
        media.hasVideo = true;
        media.hasAudio = true;
        media.naturalSize = QSize(1920, 1080);
        store().setMedia(media);
        store().setCaptions({Caption::make(1, 2, QStringLiteral("First")),
                             Caption::make(12, 14, QStringLiteral("Second"))});
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    LWStore& store() { return window->store(); }
    // The button of `parent` whose tooltip starts with `tip`.
    static QToolButton* button(QWidget* parent, const QString& tip) {
        for (auto* b : parent->findChildren<QToolButton*>()) {
            if (b->toolTip().startsWith(tip))
                return b;
        }
        return nullptr;
    }

    TestServices services; // outlives the window
    std::unique_ptr<LWMainWindow> window;
    FakePlayer* player = nullptr;
};

TEST_F(WindowTiming, PlayFromHereStartsPlaybackAtTheCaption) {
    LWCaptionRow* row = window->stack()->list()->rowFor(store().captions()[1].id);
    ASSERT_TRUE(row);
    QToolButton* play = button(row, QStringLiteral("Play from here"));
    ASSERT_TRUE(play);
    store().seek(25);
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(player->playing);
    EXPECT_DOUBLE_EQ(player->at, 12);
    // The playhead clock runs a few times: playback goes on from the caption's start.
    player->at = 12.5;
    QTest::qWait(120);
    EXPECT_TRUE(store().playing());
    EXPECT_DOUBLE_EQ(store().time(), 12.5);
}

TEST_F(WindowTiming, PlayButtonAfterTheEndPlaysAgainFromTheStart) {
    QToolButton* play = button(window->header(), QStringLiteral("Play / Pause"));
    ASSERT_TRUE(play);
    QTest::mouseClick(play, Qt::LeftButton);
    ASSERT_TRUE(store().playing());
    // The player reaches the end and stops there.
    player->at = 30;
    player->playing = false;
    QTRY_VERIFY(!store().playing());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(store().playing());
    EXPECT_DOUBLE_EQ(player->at, 0);
}

TEST_F(WindowTiming, WithoutASoundOutputPlaybackRunsAndSaysSoOnce) {
    player->sound = false;
    const QString sentence = QStringLiteral("No sound output was found, so playback is silent.");
    window->stack()->list()->setFocus();
    QTest::keyClick(window->stack()->list(), Qt::Key_Space);
    EXPECT_TRUE(store().playing());
    EXPECT_EQ(store().note(), sentence);
    store().setNote(QString());
    QTest::keyClick(window->stack()->list(), Qt::Key_Space);
    QTest::keyClick(window->stack()->list(), Qt::Key_Space);
    EXPECT_TRUE(store().playing());
    EXPECT_TRUE(store().note().isEmpty());
}

// Pixel columns of a lane at `scale` mapped back to the loudest second of the waveform.
double loudestTime(const LWStore& store, double scale) {
    const QList<float>& peaks = store.peaks();
    double best = -1;
    float loudest = -1;
    const double width = store.media()->duration * scale;
    for (int x = 0; x < int(width); ++x) {
        const auto [from, to] =
            LWLaneMath::peakRun(x, scale, store.peaksStart(), store.peaksSeconds(), peaks.size());
        for (qsizetype i = from; i < to; ++i) {
            if (peaks[i] > loudest) {
                loudest = peaks[i];
                best = (x + 0.5) / scale;
            }
        }
    }
    return best;
}

class WaveformPlacement : public UiFixture {};

TEST_F(WaveformPlacement, PeaksSitAtTheSoundsOwnTimes) {
    MediaFixtures fixtures;
    struct Case {
        const char* name;
        QStringList audioInput; // ffmpeg's arguments for the sound input
        double soundStart;
        double burst; // where the loud part is in the file's time
    };
    // Four seconds of sound, silent but for a tone from 3.0 to 3.5 s (of the sound); a picture
    // of six seconds.
    const QString tone = QStringLiteral("aevalsrc=if(between(t\\,3\\,3.5)\\,sin(2*PI*440*t)\\,0)"
                                        ":s=16000:d=4");
    const QString early = QStringLiteral("aevalsrc=if(between(t\\,1\\,1.5)\\,sin(2*PI*440*t)\\,0)"
                                         ":s=16000:d=4");
    const Case cases[] = {
        {"shorter.mkv",
         {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), tone},
         0,
         3.25},
        {"late.mkv",
         {QStringLiteral("-itsoffset"), QStringLiteral("1.5"), QStringLiteral("-f"),
          QStringLiteral("lavfi"), QStringLiteral("-i"), early},
         1.5,
         2.75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = fixtures.file(QString::fromLatin1(c.name));
        QStringList arguments = {QStringLiteral("-f"), QStringLiteral("lavfi"),
                                 QStringLiteral("-i"),
                                 QStringLiteral("color=c=black:s=64x48:r=10:d=6")};
        arguments << c.audioInput
                  << QStringList{QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                                 QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), path};
        ASSERT_TRUE(MediaFixtures::ffmpeg(arguments));
        store->open(path);
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 60000));
        ASSERT_TRUE(store->media().has_value()) << hooks.alerts.value(0).message.toStdString();
        EXPECT_NEAR(store->media()->duration, 6, 0.2);
        // Within a frame of AAC, should the opener have made a converted copy.
        EXPECT_NEAR(store->peaksStart(), c.soundStart, 0.1);
        EXPECT_NEAR(store->peaksSeconds(), 4, 0.15);
        for (double scale : {20.0, 100.0})
            EXPECT_NEAR(loudestTime(*store, scale), c.burst, 0.3) << scale;
    }
}

TEST(WaveformRuns, ColumnsOutsideTheSoundShowNothing) {
    // 100 bars over 4 s from 1.5 s, 10 pixels a second.
    EXPECT_EQ(LWLaneMath::peakRun(10, 10, 1.5, 4, 100), std::make_pair(qsizetype(0), qsizetype(0)));
    EXPECT_EQ(LWLaneMath::peakRun(15, 10, 1.5, 4, 100), std::make_pair(qsizetype(0), qsizetype(2)));
    EXPECT_EQ(LWLaneMath::peakRun(54, 10, 1.5, 4, 100),
              std::make_pair(qsizetype(97), qsizetype(100)));
    EXPECT_EQ(LWLaneMath::peakRun(55, 10, 1.5, 4, 100), std::make_pair(qsizetype(0), qsizetype(0)));
    // Zoomed far in, every column still shows its one bar.
    EXPECT_EQ(LWLaneMath::peakRun(2000, 1000, 0, 4, 100),
              std::make_pair(qsizetype(50), qsizetype(51)));
    EXPECT_EQ(LWLaneMath::peakRun(0, 10, 0, 0, 100), std::make_pair(qsizetype(0), qsizetype(0)));
}

} // namespace
