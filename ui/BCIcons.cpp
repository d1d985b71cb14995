#include "BCIcons.h"

#include "BCUI.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

// The icons live in this static library's resources, which a program has to register.
static void registerIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace {

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> names{
        {QStringLiteral("captions.bubble.fill"), QStringLiteral("captions")},
        {QStringLiteral("captions.bubble"), QStringLiteral("subtitles")},
        {QStringLiteral("backward.end.fill"), QStringLiteral("skip-back")},
        {QStringLiteral("gobackward.5"), QStringLiteral("rotate-ccw")},
        {QStringLiteral("goforward.5"), QStringLiteral("rotate-cw")},
        {QStringLiteral("play.fill"), QStringLiteral("play")},
        {QStringLiteral("pause.fill"), QStringLiteral("pause")},
        {QStringLiteral("folder.fill"), QStringLiteral("folder-open")},
        {QStringLiteral("music.note.list"), QStringLiteral("music")},
        {QStringLiteral("text.quote"), QStringLiteral("text-quote")},
        {QStringLiteral("waveform.and.mic"), QStringLiteral("audio-lines")},
        {QStringLiteral("waveform"), QStringLiteral("audio-waveform")},
        {QStringLiteral("waveform.badge.magnifyingglass"), QStringLiteral("audio-waveform")},
        {QStringLiteral("doc.text"), QStringLiteral("file-text")},
        {QStringLiteral("globe"), QStringLiteral("globe")},
        {QStringLiteral("text.alignleft"), QStringLiteral("align-left")},
        {QStringLiteral("clock"), QStringLiteral("clock")},
        {QStringLiteral("film.fill"), QStringLiteral("film")},
        {QStringLiteral("speaker.wave.2.fill"), QStringLiteral("volume-2")},
        {QStringLiteral("chevron.right"), QStringLiteral("chevron-right")},
        {QStringLiteral("info.circle.fill"), QStringLiteral("info")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("circle-check")},
        {QStringLiteral("plus"), QStringLiteral("plus")},
        {QStringLiteral("minus"), QStringLiteral("minus")},
        {QStringLiteral("scissors"), QStringLiteral("scissors")},
        {QStringLiteral("arrow.triangle.merge"), QStringLiteral("merge-down")},
        {QStringLiteral("trash"), QStringLiteral("trash-2")},
        {QStringLiteral("plus.magnifyingglass"), QStringLiteral("zoom-in")},
        {QStringLiteral("minus.magnifyingglass"), QStringLiteral("zoom-out")},
        {QStringLiteral("slider.horizontal.3"), QStringLiteral("sliders-horizontal")},
        {QStringLiteral("tray.and.arrow.down"), QStringLiteral("import")},
        {QStringLiteral("gearshape"), QStringLiteral("settings")},
        {QStringLiteral("magnifyingglass"), QStringLiteral("search")},
        {QStringLiteral("key"), QStringLiteral("key-round")},
        {QStringLiteral("mic"), QStringLiteral("mic")},
        {QStringLiteral("stop.fill"), QStringLiteral("square")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("download")},
        {QStringLiteral("xmark"), QStringLiteral("x")},
        {QStringLiteral("book"), QStringLiteral("book-open")},
        {QStringLiteral("paintpalette.fill"), QStringLiteral("palette")},
        {QStringLiteral("bolt.fill"), QStringLiteral("zap")},
        {QStringLiteral("cpu"), QStringLiteral("cpu")},
        {QStringLiteral("text.cursor"), QStringLiteral("text-cursor")},
        {QStringLiteral("timeline.selection"), QStringLiteral("chart-gantt")},
        {QStringLiteral("textformat"), QStringLiteral("type")},
        {QStringLiteral("square.and.arrow.up.fill"), QStringLiteral("share")},
        {QStringLiteral("speaker.wave.3.fill"), QStringLiteral("volume-2")},
        {QStringLiteral("keyboard"), QStringLiteral("keyboard")},
        {QStringLiteral("lightbulb.fill"), QStringLiteral("lightbulb")},
    };
    return names;
}

} // namespace

QString BCIcons::file(const QString& symbol) {
    static const bool registered = (registerIcons(), true);
    Q_UNUSED(registered);
    const auto it = table().find(symbol);
    return it == table().end() ? QString() : QStringLiteral(":/icons/%1.svg").arg(*it);
}

QPixmap BCIcons::pixmap(const QString& symbol, int size, const QColor& colour, double ratio) {
    QFile svg(file(symbol));
    if (symbol.isEmpty() || !svg.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = svg.readAll();
    text.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(text);
    QPixmap picture(QSize(size, size) * ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    renderer.render(&painter);
    painter.end();
    picture.setDevicePixelRatio(ratio);
    return picture;
}

QIcon BCIcons::icon(const QString& symbol) {
    const QPixmap picture = pixmap(symbol, 64, BCUI::shared().theme().text);
    return picture.isNull() ? QIcon() : QIcon(picture);
}

QPixmap BCIcons::badge(int size, double ratio) {
    const BCTheme& theme = BCUI::shared().theme();
    QPixmap picture(QSize(size, size) * ratio);
    picture.fill(Qt::transparent);
    picture.setDevicePixelRatio(ratio);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(theme.metalLo, 1));
    painter.setBrush(theme.chrome(QPointF(0, 0), QPointF(0, size)));
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    const int symbol = size * 17 / 38;
    painter.drawPixmap((size - symbol) / 2, (size - symbol) / 2,
                       pixmap(QStringLiteral("captions.bubble.fill"), symbol, theme.deep, ratio));
    return picture;
}
