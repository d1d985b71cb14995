#include "CaptionStyle.h"
#include "LWMonitor.h"

#include <gtest/gtest.h>

TEST(Monitor, FitsThePictureInTheArea) {
    struct Case {
        QRectF area;
        QSizeF natural;
        QRectF expected;
    };
    const Case cases[] = {
        {{0, 0, 960, 720}, {1920, 1080}, {0, 90, 960, 540}},
        {{0, 0, 960, 540}, {1080, 1920}, {328.125, 0, 303.75, 540}},
        {{10, 20, 100, 100}, {50, 50}, {10, 20, 100, 100}},
        {{0, 0, 960, 720}, {0, 1080}, {}},
        {{0, 0, 960, 720}, {1920, -1}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LWMonitor::pictureRect(c.area, c.natural), c.expected);
}

TEST(Monitor, PlacesTheCaptionBoxOnThePicture) {
    CaptionStyle look;
    look.marginPercent = 5;
    look.position = CaptionStyle::Position::bottom;
    const QRectF picture = LWMonitor::pictureRect({0, 0, 960, 720}, {1920, 1080});
    const QRectF box =
        LWMonitor::captionBox(QStringLiteral("Hello there"), look, picture, QSize(1920, 1080));
    // The lower edge sits 5 % of the shown picture's height (27 of 540) above its bottom.
    EXPECT_NEAR(box.bottom(), picture.bottom() - 27, 0.01);
    EXPECT_NEAR(box.center().x(), picture.center().x(), 0.01);
    look.position = CaptionStyle::Position::top;
    EXPECT_NEAR(LWMonitor::captionBox(QStringLiteral("Hi"), look, picture, QSize(1920, 1080)).top(),
                picture.top() + 27, 0.01);
    EXPECT_TRUE(LWMonitor::captionBox(QStringLiteral("Hi"), look, QRectF(), QSize(0, 0)).isNull());
}
