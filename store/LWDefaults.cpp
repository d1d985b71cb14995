#include "LWDefaults.h"

#include <QSettings>

namespace LWDefaults {

namespace {
QSettings settings() {
    return QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro"));
}
} // namespace

QVariant value(const QString& key) {
    return settings().value(key);
}
bool contains(const QString& key) {
    return settings().contains(key);
}
void setValue(const QString& key, const QVariant& value) {
    settings().setValue(key, value);
}
void remove(const QString& key) {
    settings().remove(key);
}

} // namespace LWDefaults
