#include "CaptionStyle.h"

#include <QFontDatabase>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

namespace {

CaptionStyle preset(const char* name, const char* font, double size, const char* text,
                    const char* box, double boxOpacity, bool outline, bool uppercase,
                    CaptionStyle::Position position, double margin) {
    CaptionStyle s;
    s.name = QString::fromLatin1(name);
    s.font = QString::fromLatin1(font);
    s.sizePercent = size;
    s.textHex = QString::fromLatin1(text);
    s.boxHex = QString::fromLatin1(box);
    s.boxOpacity = boxOpacity;
    s.outline = outline;
    s.outlineHex = QStringLiteral("000000");
    s.uppercase = uppercase;
    s.position = position;
    s.marginPercent = margin;
    return s;
}

// Free faces installed by the setup script that stand in for the stored face names.
struct Substitute {
    const char* family;
    QFont::Weight weight;
};

const QHash<QString, Substitute>& substitutes() {
    static const QHash<QString, Substitute> table = {
        {QStringLiteral("HelveticaNeue-Bold"), {"Nimbus Sans", QFont::Bold}},
        {QStringLiteral("AvenirNext-Heavy"), {"URW Gothic", QFont::Bold}},
        {QStringLiteral("Futura-Bold"), {"URW Gothic", QFont::Bold}},
        {QStringLiteral("Arial-BoldMT"), {"Liberation Sans", QFont::Bold}},
        {QStringLiteral("ArialRoundedMTBold"), {"DejaVu Sans", QFont::Bold}},
        {QStringLiteral("Impact"), {"Nimbus Sans Narrow", QFont::Bold}},
        {QStringLiteral("Georgia-Bold"), {"C059", QFont::Bold}},
        {QStringLiteral("Menlo-Bold"), {"DejaVu Sans Mono", QFont::Bold}},
    };
    return table;
}

constexpr const char* fallbackFamily = "DejaVu Sans";

// The installed family a face name stands for, and its weight: the family itself (regular), or a
// family followed by a style word after a space or a hyphen. Spaces missing from PostScript-style
// names ("DejaVuSerif") are matched by comparing names without spaces.
std::optional<std::pair<QString, QFont::Weight>> installedFace(const QString& face) {
    const QString name = face.trimmed();
    if (name.isEmpty())
        return std::nullopt;
    auto squeezed = [](QString s) { return s.remove(u' ').toLower(); };
    const QStringList families = QFontDatabase::families();
    auto familyNamed = [&](const QString& wanted) -> std::optional<QString> {
        for (const QString& f : families)
            if (f.compare(wanted, Qt::CaseInsensitive) == 0)
                return f;
        const QString key = squeezed(wanted);
        for (const QString& f : families)
            if (squeezed(f) == key)
                return f;
        return std::nullopt;
    };
    if (const auto f = familyNamed(name))
        return std::pair{*f, QFont::Normal};
    const qsizetype cut = std::max(name.lastIndexOf(u' '), name.lastIndexOf(u'-'));
    if (cut <= 0)
        return std::nullopt;
    const auto f = familyNamed(name.left(cut));
    if (!f)
        return std::nullopt;
    const QString style = name.mid(cut + 1).toLower();
    QFont::Weight weight = QFont::Normal;
    if (style.contains(QStringLiteral("black")) || style.contains(QStringLiteral("heavy")))
        weight = QFont::Black;
    else if (style.contains(QStringLiteral("bold")))
        weight = QFont::Bold;
    else if (style.contains(QStringLiteral("light")))
        weight = QFont::Light;
    return std::pair{*f, weight};
}

} // namespace

const QList<CaptionStyle>& CaptionStyle::presets() {
    using P = Position;
    static const QList<CaptionStyle> list = {
        preset("Broadcast", "HelveticaNeue-Bold", 5.2, "FFFFFF", "000000", 0.72, false, false,
               P::bottom, 7.0),
        preset("Social Pop", "AvenirNext-Heavy", 6.5, "FFE14D", "000000", 0, true, true, P::middle,
               7.0),
        preset("Clean Outline", "HelveticaNeue-Bold", 5.0, "FFFFFF", "000000", 0, true, false,
               P::bottom, 7.0),
        preset("Cinema", "Georgia-Bold", 4.4, "F4F1E8", "000000", 0, true, false, P::bottom, 9.0),
        preset("Headline Top", "Futura-Bold", 5.6, "FFFFFF", "D2232A", 0.9, false, true, P::top,
               7.0),
    };
    return list;
}

const QList<CaptionStyle::FontChoice>& CaptionStyle::offeredFonts() {
    static const QList<FontChoice> list = {
        {QStringLiteral("HelveticaNeue-Bold"), QStringLiteral("Helvetica Neue Bold")},
        {QStringLiteral("AvenirNext-Heavy"), QStringLiteral("Avenir Next Heavy")},
        {QStringLiteral("Futura-Bold"), QStringLiteral("Futura Bold")},
        {QStringLiteral("Arial-BoldMT"), QStringLiteral("Arial Bold")},
        {QStringLiteral("ArialRoundedMTBold"), QStringLiteral("Arial Rounded")},
        {QStringLiteral("Impact"), QStringLiteral("Impact")},
        {QStringLiteral("Georgia-Bold"), QStringLiteral("Georgia Bold")},
        {QStringLiteral("Menlo-Bold"), QStringLiteral("Menlo Bold")},
    };
    return list;
}

QColor CaptionStyle::color(const QString& hex, double opacity) {
    QString digits = hex;
    while (!digits.isEmpty() && (digits.front() == u'#' || digits.front() == u' '))
        digits.remove(0, 1);
    while (!digits.isEmpty() && (digits.back() == u'#' || digits.back() == u' '))
        digits.chop(1);
    digits = digits.toUpper();
    bool ok = digits.size() == 6;
    for (QChar c : digits)
        ok = ok && ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
    if (!ok)
        return QColor::fromRgbF(1, 1, 1, 1);
    const uint value = digits.toUInt(nullptr, 16);
    QColor c = QColor::fromRgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    c.setAlphaF(float(std::clamp(std::isfinite(opacity) ? opacity : 1.0, 0.0, 1.0)));
    return c;
}

QString CaptionStyle::hex(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    auto channel = [](float v) { return std::clamp(int(v * 255.0f + 0.5f), 0, 255); };
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02X%02X%02X", channel(rgb.redF()), channel(rgb.greenF()),
                  channel(rgb.blueF()));
    return QString::fromLatin1(buffer);
}

QString CaptionStyle::positionName(Position position) {
    switch (position) {
    case Position::bottom:
        return QStringLiteral("bottom");
    case Position::middle:
        return QStringLiteral("middle");
    case Position::top:
        break;
    }
    return QStringLiteral("top");
}

std::optional<CaptionStyle::Position> CaptionStyle::positionFromName(const QString& name) {
    for (Position p : {Position::bottom, Position::middle, Position::top}) {
        if (positionName(p) == name)
            return p;
    }
    return std::nullopt;
}

QJsonObject CaptionStyle::toJson() const {
    return QJsonObject{{"name", name},
                       {"font", font},
                       {"sizePercent", sizePercent},
                       {"textHex", textHex},
                       {"boxHex", boxHex},
                       {"boxOpacity", boxOpacity},
                       {"outline", outline},
                       {"outlineHex", outlineHex},
                       {"uppercase", uppercase},
                       {"position", positionName(position)},
                       {"marginPercent", marginPercent}};
}

std::optional<CaptionStyle> CaptionStyle::fromJson(const QJsonObject& o) {
    auto string = [&](const char* key) { return o.value(QLatin1String(key)).isString(); };
    auto number = [&](const char* key) { return o.value(QLatin1String(key)).isDouble(); };
    auto boolean = [&](const char* key) { return o.value(QLatin1String(key)).isBool(); };
    if (!string("name") || !string("font") || !number("sizePercent") || !string("textHex") ||
        !string("boxHex") || !number("boxOpacity") || !boolean("outline") ||
        !string("outlineHex") || !boolean("uppercase") || !string("position") ||
        !number("marginPercent"))
        return std::nullopt;
    const auto position = positionFromName(o.value(QStringLiteral("position")).toString());
    if (!position)
        return std::nullopt;
    CaptionStyle s;
    s.name = o.value(QStringLiteral("name")).toString();
    s.font = o.value(QStringLiteral("font")).toString();
    s.sizePercent = o.value(QStringLiteral("sizePercent")).toDouble();
    s.textHex = o.value(QStringLiteral("textHex")).toString();
    s.boxHex = o.value(QStringLiteral("boxHex")).toString();
    s.boxOpacity = o.value(QStringLiteral("boxOpacity")).toDouble();
    s.outline = o.value(QStringLiteral("outline")).toBool();
    s.outlineHex = o.value(QStringLiteral("outlineHex")).toString();
    s.uppercase = o.value(QStringLiteral("uppercase")).toBool();
    s.position = *position;
    s.marginPercent = o.value(QStringLiteral("marginPercent")).toDouble();
    return s;
}

double CaptionStyle::fontSize(double height) const {
    const double size = sizePercent * height / 100.0;
    return std::isfinite(size) ? std::max(size, 8.0) : 8.0;
}

QFont CaptionStyle::qfont(double height) const {
    QString family = QString::fromLatin1(fallbackFamily);
    QFont::Weight weight = QFont::Bold;
    const auto found = substitutes().constFind(font);
    if (found != substitutes().cend() &&
        QFontDatabase::hasFamily(QString::fromLatin1(found->family))) {
        family = QString::fromLatin1(found->family);
        weight = found->weight;
    } else if (found == substitutes().cend()) {
        // Any installed face, by family name ("DejaVu Serif") or family and style
        // ("DejaVu Serif Bold", "DejaVuSerif-Bold"), as the font database knows it.
        if (const std::optional<std::pair<QString, QFont::Weight>> face = installedFace(font)) {
            family = face->first;
            weight = face->second;
        }
    }
    QFont f(family);
    f.setWeight(weight);
    // Points at the renderer's fixed 96 dots per inch, so fractional pixel sizes stay exact.
    f.setPointSizeF(fontSize(height) * 72.0 / 96.0);
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(true);
    return f;
}

QString CaptionStyle::displayText(const QString& text) const {
    return uppercase ? text.toUpper() : text;
}
