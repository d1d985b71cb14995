#include "LWProject.h"

#include "BCMediaOpener.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <charconv>
#include <cmath>

namespace LWProject {

namespace {

// Shortest text that reads back as the same double, without the locale.
QByteArray number(double value) {
    if (!std::isfinite(value))
        value = 0; // JSON has no infinities; caption times never need them
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, result.ptr - buffer);
}

QByteArray jsonString(const QString& text) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2); // without the array's brackets
}

} // namespace

QString folder() {
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Brindlecote/Lorowen Pro/Projects");
    QDir().mkpath(path);
    return path;
}

QString fileFor(const QString& originalMediaPath) {
    return folder() + u'/' + BCMediaOpener::cacheName(originalMediaPath) + QStringLiteral(".json");
}

QByteArray encode(const Captions& captions) {
    QByteArray out = "[";
    for (qsizetype i = 0; i < captions.size(); ++i) {
        const Caption& c = captions[i];
        if (i > 0)
            out += ',';
        out += "{\"id\":\"" + c.id.toString(QUuid::WithoutBraces).toUpper().toLatin1() +
               "\",\"start\":" + number(c.start) + ",\"end\":" + number(c.end) +
               ",\"text\":" + jsonString(c.text);
        // Older readers ignore this key; Caption::fromJson reads it back.
        if (!c.confidence.isEmpty()) {
            out += ",\"confidence\":[";
            for (qsizetype k = 0; k < c.confidence.size(); ++k) {
                const WordConfidence& w = c.confidence[k];
                if (k > 0)
                    out += ',';
                out += '[' + QByteArray::number(w.at) + ',' + jsonString(w.word) + ',' +
                       number(std::round(double(w.value) * 1000) / 1000) + ']';
            }
            out += ']';
        }
        out += '}';
    }
    out += ']';
    return out;
}

std::optional<Captions> decode(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    Captions captions;
    for (const QJsonValue& value : document.array()) {
        if (!value.isObject())
            return std::nullopt;
        auto caption = Caption::fromJson(value.toObject());
        if (!caption)
            return std::nullopt;
        captions.append(*caption);
    }
    return captions;
}

std::optional<QString> setAside(const QString& path) {
    QString target = path + QStringLiteral(".damaged");
    for (int n = 2; QFile::exists(target); ++n)
        target = path + QStringLiteral(".damaged-") + QString::number(n);
    if (!QFile::rename(path, target))
        return std::nullopt;
    return target;
}

} // namespace LWProject
