#include "CaptionRenderer.h"
#include "CaptionStyle.h"

#include <QFontDatabase>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const CaptionStyle& preset(const char* name) {
    for (const CaptionStyle& s : CaptionStyle::presets()) {
        if (s.name == QLatin1String(name))
            return s;
    }
    static CaptionStyle none;
    return none;
}

TEST(CaptionStyleColour, ReadsHexLeniently) {
    const QColor expected = QColor::fromRgb(0xFF, 0xE1, 0x4D);
    for (const char* text : {"FFE14D", "ffe14d", "#FFE14D", "  #ffE14d  ", "FFE14D#"})
        EXPECT_EQ(CaptionStyle::color(QString::fromLatin1(text), 1.0), expected) << text;
    const QColor white = QColor::fromRgbF(1, 1, 1, 1);
    for (const char* text : {"FFF", "GGGGGG", "", "FFE14D00", "12 456"})
        EXPECT_EQ(CaptionStyle::color(QString::fromLatin1(text), 0.3), white) << text;
    EXPECT_NEAR(CaptionStyle::color(QStringLiteral("000000"), 0.72).alphaF(), 0.72, 0.002);
}

TEST(CaptionStyleColour, HexRoundTrips) {
    for (const char* text : {"D2232A", "FFE14D", "F4F1E8", "000000", "FFFFFF", "010203"})
        EXPECT_EQ(CaptionStyle::hex(CaptionStyle::color(QString::fromLatin1(text), 1)),
                  QString::fromLatin1(text));
    EXPECT_EQ(CaptionStyle::hex(QColor(Qt::red)), QStringLiteral("FF0000"));
    EXPECT_EQ(CaptionStyle::hex(QColor::fromHsvF(0.0, 1.0, 1.0)), QStringLiteral("FF0000"));
}

TEST(CaptionStyleJson, EveryPresetRoundTripsAndBadInputFails) {
    ASSERT_EQ(CaptionStyle::presets().size(), 5);
    EXPECT_EQ(CaptionStyle::presets().first(), CaptionStyle{}); // the store's starting look
    for (const CaptionStyle& s : CaptionStyle::presets()) {
        const QByteArray bytes = QJsonDocument(s.toJson()).toJson(QJsonDocument::Compact);
        EXPECT_EQ(CaptionStyle::fromJson(QJsonDocument::fromJson(bytes).object()), s)
            << s.name.toStdString();
    }
    const QJsonObject pop = preset("Social Pop").toJson();
    EXPECT_EQ(pop.value("position").toString(), QStringLiteral("middle"));
    EXPECT_EQ(pop.keys().size(), 11);

    for (const QString& key : pop.keys()) {
        QJsonObject missing = pop;
        missing.remove(key);
        EXPECT_FALSE(CaptionStyle::fromJson(missing).has_value()) << key.toStdString();
        QJsonObject mistyped = pop;
        mistyped.insert(key, QJsonValue(QJsonArray{}));
        EXPECT_FALSE(CaptionStyle::fromJson(mistyped).has_value()) << key.toStdString();
    }
    QJsonObject sideways = pop;
    sideways.insert("position", "left");
    EXPECT_FALSE(CaptionStyle::fromJson(sideways).has_value());
}

TEST(CaptionStyleText, FontSizeFloorAndCapitals) {
    CaptionStyle s;
    EXPECT_NEAR(s.fontSize(1080), 56.16, 1e-9);
    EXPECT_EQ(s.fontSize(100), 8.0);
    EXPECT_NEAR(s.qfont(1080).pointSizeF() * 96.0 / 72.0, 56.16, 1e-6);
    s.uppercase = true;
    EXPECT_EQ(s.displayText(QStringLiteral("hello\nthere")), QStringLiteral("HELLO\nTHERE"));
    // Every offered face and an unknown one resolve to an installed bold face.
    for (const auto& choice : CaptionStyle::offeredFonts()) {
        s.font = choice.face;
        EXPECT_EQ(s.qfont(720).weight(), QFont::Bold) << choice.face.toStdString();
    }
    s.font = QStringLiteral("NoSuchFace-Bold");
    EXPECT_EQ(s.qfont(720).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(s.qfont(720).weight(), QFont::Bold);
    // Any installed face outside the offered list, by family or family and style.
    if (QFontDatabase::hasFamily(QStringLiteral("DejaVu Serif"))) {
        const struct {
            const char* face;
            QFont::Weight weight;
        } faces[] = {{"DejaVu Serif", QFont::Normal},
                     {"dejavu serif Bold", QFont::Bold},
                     {"DejaVuSerif-Bold", QFont::Bold}};
        for (const auto& face : faces) {
            s.font = QString::fromLatin1(face.face);
            EXPECT_EQ(s.qfont(720).family(), QStringLiteral("DejaVu Serif")) << face.face;
            EXPECT_EQ(s.qfont(720).weight(), face.weight) << face.face;
        }
    }
}

TEST(CaptionRendererLayout, PositionsMarginsAndWidthLimit) {
    const QSize picture(1920, 1080);
    struct Case {
        CaptionStyle::Position position;
        double margin;
    };
    for (const Case& c :
         {Case{CaptionStyle::Position::bottom, 7.0}, Case{CaptionStyle::Position::middle, 7.0},
          Case{CaptionStyle::Position::top, 9.0}}) {
        CaptionStyle s;
        s.position = c.position;
        s.marginPercent = c.margin;
        const auto l = CaptionRenderer::layout(QStringLiteral("Hello there"), s, picture);
        EXPECT_NEAR(l.box.center().x(), 960, 1e-9);
        EXPECT_NEAR(l.textRect.left() - l.box.left(), 0.018 * 1080, 1e-9);
        EXPECT_NEAR(l.textRect.top() - l.box.top(), 0.01 * 1080, 1e-9);
        switch (c.position) {
        case CaptionStyle::Position::bottom:
            EXPECT_NEAR(l.box.bottom(), 1080 - 0.07 * 1080, 1e-6);
            break;
        case CaptionStyle::Position::middle:
            EXPECT_NEAR(l.box.center().y(), 540, 1e-6);
            break;
        case CaptionStyle::Position::top:
            EXPECT_NEAR(l.box.top(), 0.09 * 1080, 1e-6);
            break;
        }
        // One line of 56-pixel text: a box a little taller than the font.
        EXPECT_GT(l.box.height(), 56.16);
        EXPECT_LT(l.box.height(), 56.16 * 1.6 + 2 * 10.8);
    }
    CaptionStyle s;
    const QString longText = QString(QStringLiteral("wordy ")).repeated(60);
    const auto l = CaptionRenderer::layout(longText, s, picture);
    EXPECT_LE(l.textRect.width(), 0.86 * 1920 + 1e-9);
    EXPECT_GT(l.box.height(), 3 * 56.16); // wrapped onto several lines
    const auto twoLines = CaptionRenderer::layout(QStringLiteral("a\nb"), s, picture);
    const auto oneLine = CaptionRenderer::layout(QStringLiteral("a b"), s, picture);
    EXPECT_GT(twoLines.box.height(), oneLine.box.height() * 1.5);
}

// Counts pixels whose alpha exceeds `threshold`.
int opaquePixels(const QImage& image, int threshold = 0) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) > threshold ? 1 : 0;
    return n;
}

TEST(CaptionRendererImage, BoxTextAndOutline) {
    const QSize picture(640, 360);
    CaptionStyle boxed; // Broadcast: white text on a 0.72 black box
    const auto r = CaptionRenderer::render(QStringLiteral("Hello"), boxed, picture);
    ASSERT_FALSE(r.image.isNull());
    EXPECT_EQ(r.image.format(), QImage::Format_RGBA8888_Premultiplied);
    EXPECT_EQ(r.image.width(), int(std::ceil(r.box.width())));
    // Box pixels at the middle of the left padding: black at 72 %.
    const QColor pad = r.image.pixelColor(3, r.image.height() / 2);
    EXPECT_NEAR(pad.alphaF(), 0.72, 0.01);
    EXPECT_EQ(pad.red(), 0);
    // Rounded corners stay transparent.
    EXPECT_EQ(qAlpha(r.image.pixel(0, 0)), 0);
    // Some white text inside.
    bool white = false;
    for (int x = 0; x < r.image.width() && !white; ++x)
        white = r.image.pixelColor(x, r.image.height() / 2).red() > 200;
    EXPECT_TRUE(white);

    CaptionStyle clean = preset("Clean Outline"); // no box, black outline
    const auto plain = CaptionRenderer::render(QStringLiteral("Hello"), clean, picture);
    EXPECT_EQ(qAlpha(plain.image.pixel(1, 1)), 0); // transparent around the text
    clean.outline = false;
    const auto noOutline = CaptionRenderer::render(QStringLiteral("Hello"), clean, picture);
    EXPECT_GT(opaquePixels(plain.image), opaquePixels(noOutline.image));
    bool dark = false; // outline pixels: visible and dark
    for (int y = 0; y < plain.image.height() && !dark; ++y)
        for (int x = 0; x < plain.image.width() && !dark; ++x) {
            const QColor c = plain.image.pixelColor(x, y);
            dark = c.alpha() > 100 && c.red() < 100;
        }
    EXPECT_TRUE(dark);

    EXPECT_TRUE(CaptionRenderer::render(QStringLiteral("  \n "), boxed, picture).image.isNull());

    // The outline shows 4 % of the font size outside the glyph on each side: measured across the
    // stem of an "I" on a tall picture.
    CaptionStyle outlined = preset("Clean Outline");
    const QSize tall(1920, 2160);
    auto inkAcross = [&](bool outline) {
        outlined.outline = outline;
        const QImage image = CaptionRenderer::render(QStringLiteral("I"), outlined, tall).image;
        const int y = image.height() / 2;
        int left = image.width(), right = -1;
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) >= 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        return right - left + 1;
    };
    const double font = outlined.fontSize(tall.height());
    EXPECT_NEAR(inkAcross(true) - inkAcross(false), 2 * 0.04 * font, 2.0);
    if (qEnvironmentVariableIsSet("LOROWEN_SAVE_RENDERS")) {
        for (const CaptionStyle& s : CaptionStyle::presets())
            CaptionRenderer::render(QStringLiteral("Welcome back to the\nkitchen, everyone"), s,
                                    QSize(1280, 720))
                .image.save(qEnvironmentVariable("LOROWEN_SAVE_RENDERS") + u'/' + s.name + ".png");
    }
}

TEST(CaptionRendererImage, AWordWiderThanThePictureBreaksInsideTheWord) {
    // A 30-letter word in capitals on a portrait picture: far wider than the text width.
    for (const char* name : {"Clean Outline", "Broadcast"}) {
        CaptionStyle style = preset(name);
        style.uppercase = true;
        const QSize portrait(1080, 1920);
        const QString word = QStringLiteral("pneumonoultramicroscopicsilico");
        ASSERT_EQ(word.size(), 30);
        const auto drawn = CaptionRenderer::render(word, style, portrait);
        ASSERT_FALSE(drawn.image.isNull()) << name;
        EXPECT_LE(drawn.box.width(), 0.86 * 1080 + 2 * 0.018 * 1920 + 1e-6) << name;
        // Nothing of the text reaches the image's first or last column: only the box's own
        // colour (or nothing) is there.
        const QRgb boxColour = drawn.image.pixel(0, drawn.image.height() / 2);
        for (int x : {0, drawn.image.width() - 1})
            for (int y = 0; y < drawn.image.height(); ++y) {
                const QRgb p = drawn.image.pixel(x, y);
                EXPECT_TRUE(qAlpha(p) == 0 || p == boxColour || qRed(p) < 60)
                    << name << " ink at " << x << "," << y;
                if (::testing::Test::HasFailure())
                    return;
            }
        const auto oneLine = CaptionRenderer::layout(QStringLiteral("PNEU"), style, portrait);
        EXPECT_GT(drawn.box.height(), 1.8 * oneLine.box.height()) << name << ": not broken";
    }
}
} // namespace
