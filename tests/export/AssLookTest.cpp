// The ASS export carries the caption look: libass (FFmpeg's subtitles filter) drawing our .ass
// puts the caption box where and as large as the application's own burn-in does.
#include "BurnIn.h"
#include "BurnInSupport.h"
#include "CaptionMath.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include <QFile>
#include <QRect>
#include <gtest/gtest.h>

using namespace BurnInSupport;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;

// The bounding rectangle of the pixels brighter than the black picture.
QRect lit(const QByteArray& luma) {
    QRect found;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (quint8(luma[y * kWidth + x]) > 48)
                found |= QRect(x, y, 1, 1);
        }
    }
    return found;
}

TEST(AssLook, LibassDrawsTheBoxWhereTheBurnInDoes) {
    MediaFixtures fixtures;
    TestFolder out;
    const QString black = fixtures.file(QStringLiteral("black.mp4"));
    ASSERT_TRUE(
        make({"-f", "lavfi", "-i",
              QStringLiteral("color=black:size=%1x%2:rate=10:duration=1").arg(kWidth).arg(kHeight),
              "-c:v", "libx264", "-pix_fmt", "yuv420p", black}));
    const BCOpenedMedia media = open(black);
    const Captions captions = {Caption::make(0, 1, QStringLiteral("Hello there, friends"))};

    CaptionStyle bottom;
    bottom.boxHex = QStringLiteral("909090");
    bottom.boxOpacity = 1.0;
    CaptionStyle top = bottom;
    top.position = CaptionStyle::Position::top;
    top.marginPercent = 12;
    top.sizePercent = 7;
    for (const CaptionStyle& style : {bottom, top}) {
        SCOPED_TRACE(CaptionStyle::positionName(style.position).toStdString());
        const QString ours = out.path(QStringLiteral("ours.mp4"));
        BurnIn::exportVideo(media, captions, style, ours, [](double) {});

        const QString ass =
            out.write(QStringLiteral("look.ass"),
                      CaptionMath::ass(captions, style, QSize(kWidth, kHeight)).toUtf8());
        const QString theirs = out.path(QStringLiteral("libass.mp4"));
        ASSERT_TRUE(make({"-i", black, "-vf", QStringLiteral("subtitles=filename='%1'").arg(ass),
                          "-c:v", "libx264", "-pix_fmt", "yuv420p", theirs}));

        const Frames a = lumaFrames(ours, kWidth, kHeight);
        const Frames b = lumaFrames(theirs, kWidth, kHeight);
        ASSERT_GE(a.luma.size(), 5u);
        ASSERT_GE(b.luma.size(), 5u);
        const QRect burned = lit(a.luma[5]);
        const QRect drawn = lit(b.luma[5]);
        ASSERT_FALSE(burned.isEmpty());
        ASSERT_FALSE(drawn.isEmpty());
        const double tolerance = 0.05 * kHeight;
        EXPECT_NEAR(drawn.top(), burned.top(), tolerance);
        EXPECT_NEAR(drawn.bottom(), burned.bottom(), tolerance);
        EXPECT_NEAR(drawn.left(), burned.left(), tolerance);
        EXPECT_NEAR(drawn.right(), burned.right(), tolerance);
        std::cout << "burn-in box " << burned.x() << "," << burned.y() << " " << burned.width()
                  << "x" << burned.height() << "; libass box " << drawn.x() << "," << drawn.y()
                  << " " << drawn.width() << "x" << drawn.height() << "\n";
    }
}

} // namespace
