#include "LWExportBay.h"
#include "LWHeader.h"
#include "UiFixture.h"

#include <QPushButton>
#include <QToolButton>

class Bays : public UiFixture {};

TEST_F(Bays, TilesFollowTheFileAndTheJob) {
    LWExportBay bay(*store);
    const QStringList textTiles{QStringLiteral("SRT"), QStringLiteral("VTT"), QStringLiteral("TXT"),
                                QStringLiteral("TXT + times")};
    const auto textEnabled = [&] {
        int enabled = 0;
        for (const QString& title : textTiles) {
            QPushButton* tile = bay.tile(title);
            EXPECT_NE(tile, nullptr) << title.toStdString();
            enabled += tile && tile->isEnabled();
        }
        return enabled;
    };
    EXPECT_EQ(textEnabled(), 0) << "no file open";
    openMedia(30, false);
    EXPECT_EQ(textEnabled(), 4) << "audio-only files export caption files";
    EXPECT_FALSE(bay.tile(QStringLiteral("Burned-in MP4"))->isEnabled()) << "no picture";
    EXPECT_FALSE(bay.tile(QStringLiteral("Subtitle track MP4/MOV"))->isEnabled());
    openMedia(30, true);
    EXPECT_TRUE(bay.tile(QStringLiteral("Burned-in MP4"))->isEnabled());
    EXPECT_TRUE(bay.tile(QStringLiteral("Subtitle track MP4/MOV"))->isEnabled());
    store->setBusy(QStringLiteral("Transcribing…"));
    EXPECT_EQ(textEnabled(), 0) << "a job runs";
    EXPECT_FALSE(bay.tile(QStringLiteral("Burned-in MP4"))->isEnabled());
    store->setBusy(QString());
    EXPECT_EQ(textEnabled(), 4);
}

TEST_F(Bays, HeaderShowsTheClockAndLightsPlay) {
    LWHeader header(*store);
    EXPECT_EQ(LWHeader::clockText(65.25, 3600), QStringLiteral("1:05.2 / 1:00:00.0"));
    openMedia(30);
    store->togglePlay();
    EXPECT_TRUE(header.playButton()->lit());
    store->togglePlay();
    EXPECT_FALSE(header.playButton()->lit());
    EXPECT_TRUE(header.transcribeButton()->isEnabled()) << "a file with sound";
    store->setBusy(QStringLiteral("Opening…"));
    EXPECT_FALSE(header.transcribeButton()->isEnabled()) << "a job runs";
    store->setBusy(QString());
}
