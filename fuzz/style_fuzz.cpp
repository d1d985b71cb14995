// The remembered caption style and grouping rules, as read from the preferences.
#include "CaptionRules.h"
#include "CaptionStyle.h"
#include "FuzzSupport.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Font resolution needs a GUI application; offscreen needs no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QJsonObject object = QJsonDocument::fromJson(Fuzz::bytes(data, size)).object();
    if (const auto style = CaptionStyle::fromJson(object)) {
        Fuzz::check(CaptionStyle::fromJson(style->toJson()) == style);
        (void)CaptionStyle::color(style->textHex, style->boxOpacity);
        (void)CaptionStyle::color(style->boxHex, style->boxOpacity);
        for (double height : {0.0, 1.0, 720.0, 1e9})
            Fuzz::check(style->fontSize(height) >= 8);
        (void)style->qfont(720);
        (void)style->displayText(style->name);
    }
    if (const auto rules = CaptionMath::Rules::fromJson(object))
        Fuzz::check(CaptionMath::Rules::fromJson(rules->toJson()) == rules);
    return 0;
}
