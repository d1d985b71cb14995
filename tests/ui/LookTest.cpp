#include "BCTheme.h"
#include "BCUI.h"
#include "LWStyleBay.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

TEST(Zoom, StepsThroughTheLevels) {
    struct Case {
        double from;
        double in;
        double out;
    };
    const Case cases[] = {
        {1.0, 1.1, 0.9},   {1.9, 2.0, 1.75},   {2.0, 2.0, 1.75},  {0.9, 1.0, 0.85},
        {0.85, 0.9, 0.85}, {1.0005, 1.1, 0.9}, {1.26, 1.4, 1.25},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BCUI::nextZoom(c.from), c.in) << c.from;
        EXPECT_EQ(BCUI::previousZoom(c.from), c.out) << c.from;
    }
}

TEST(Zoom, ClampsTheStoredValueAtStart) {
    EXPECT_EQ(BCUI::startZoom(QVariant()), 1.0);
    EXPECT_EQ(BCUI::startZoom(0.0), 1.0);
    EXPECT_EQ(BCUI::startZoom(3.0), 2.0);
    EXPECT_EQ(BCUI::startZoom(0.5), 0.85);
    EXPECT_EQ(BCUI::startZoom(1.234), 1.23);
    EXPECT_EQ(BCUI::startZoom(QStringLiteral("1.5")), 1.5); // as read back from the settings file
    EXPECT_EQ(BCUI::startZoom(QStringLiteral("big")), 1.0);
}

TEST(Zoom, IsStoredAndScalesText) {
    BCUI& ui = BCUI::shared();
    ui.setZoom(1.5);
    EXPECT_EQ(storedPreference(QStringLiteral("brct.ui.zoom")).toDouble(), 1.5);
    EXPECT_EQ(ui.px(12), 18);
    EXPECT_DOUBLE_EQ(BCFont(12).pointSizeF(), 18);
    ui.setZoom(1.0);
    EXPECT_DOUBLE_EQ(BCFont(12).pointSizeF(), 12);
}

TEST(Theme, LookupFallsBackToTheFirst) {
    ASSERT_EQ(BCTheme::all().size(), 6);
    EXPECT_EQ(BCTheme::byId(QStringLiteral("rose-gold")).name, QStringLiteral("Rose Gold"));
    EXPECT_EQ(BCTheme::byId(QStringLiteral("no-such-theme")).id, QStringLiteral("gunmetal-blue"));
    EXPECT_EQ(BCTheme::byId(QString()).id, QStringLiteral("gunmetal-blue"));
    // Colours are the exact components: graphite's accent is 1.0 0.7 0.22.
    const QColor accent = BCTheme::byId(QStringLiteral("graphite-gray")).accent;
    EXPECT_NEAR(accent.redF(), 1.0, 1.0 / 65535);
    EXPECT_NEAR(accent.greenF(), 0.7, 1.0 / 65535);
    EXPECT_NEAR(accent.blueF(), 0.22, 1.0 / 65535);

    BCUI::shared().setTheme(BCTheme::byId(QStringLiteral("black-chrome")));
    EXPECT_EQ(storedPreference(QStringLiteral("brct.ui.theme")).toString(),
              QStringLiteral("black-chrome"));
    BCUI::shared().setTheme(BCTheme::all().front());
}

TEST(StyleBay, ValueTexts) {
    EXPECT_EQ(LWStyleBay::sizeText(5.2), QStringLiteral("5.2%"));
    EXPECT_EQ(LWStyleBay::sizeText(10), QStringLiteral("10.0%"));
    EXPECT_EQ(LWStyleBay::marginText(6), QStringLiteral("6%"));
    EXPECT_EQ(LWStyleBay::opacityText(0.555), QStringLiteral("55%"));
    EXPECT_EQ(LWStyleBay::opacityText(0.29), QStringLiteral("29%"));
    EXPECT_EQ(LWStyleBay::opacityText(1), QStringLiteral("100%"));
    EXPECT_EQ(LWStyleBay::durationText(6), QStringLiteral("6 s"));
    EXPECT_EQ(LWStyleBay::charsPerLine(41.5), 42);
    EXPECT_EQ(LWStyleBay::charsPerLine(41.4), 41);
}
