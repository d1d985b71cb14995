#pragma once

#include <QColor>
#include <QFont>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The caption look: font, size, colours, box, outline, case and position. A plain value; any
// thread (font resolution needs a QGuiApplication).
struct CaptionStyle {
    enum class Position { bottom, middle, top };

    QString name = QStringLiteral("Broadcast");
    QString font = QStringLiteral("HelveticaNeue-Bold"); // face name as stored
    double sizePercent = 5.2;                            // of the picture height
    QString textHex = QStringLiteral("FFFFFF");
    QString boxHex = QStringLiteral("000000");
    double boxOpacity = 0.72; // 0 means no box
    bool outline = false;
    QString outlineHex = QStringLiteral("000000");
    bool uppercase = false;
    Position position = Position::bottom;
    double marginPercent = 7.0; // distance from the bottom or top edge, of the picture height

    friend bool operator==(const CaptionStyle&, const CaptionStyle&) = default;

    // "Broadcast", "Social Pop", "Clean Outline", "Cinema", "Headline Top".
    static const QList<CaptionStyle>& presets();

    struct FontChoice {
        QString face;
        QString label;
    };
    // The faces offered in the style editor, in order.
    static const QList<FontChoice>& offeredFonts();

    // Six hex digits (a leading "#", blanks and case are tolerated) with `opacity` as alpha;
    // anything else is opaque white.
    static QColor color(const QString& hex, double opacity);
    // Six upper-case hex digits of a colour's sRGB components.
    static QString hex(const QColor& colour);

    static QString positionName(Position position);
    static std::optional<Position> positionFromName(const QString& name);

    // Keyed object with exactly the field names above; reading needs every key with its type.
    QJsonObject toJson() const;
    static std::optional<CaptionStyle> fromJson(const QJsonObject& object);

    // Font size in pixels for a picture `height` pixels high: sizePercent of it, at least 8.
    double fontSize(double height) const;
    // The installed font standing in for `font` at that size, bold; the bold default face when
    // the face is unknown or missing. Independent of the desktop's font settings. Sized for a
    // paint device of 96 dots per inch (CaptionRenderer draws on such images).
    QFont qfont(double height) const;
    // The text as drawn: capitals with `uppercase`, otherwise unchanged.
    QString displayText(const QString& text) const;
};
