#pragma once

#include <QString>
#include <QVariant>

// The remembered preferences ("lw.*", "el.*", "brct.ui.*" keys), stored through QSettings under
// the organisation "Brindlecote" and the application "Lorowen Pro". Main thread only.
namespace LWDefaults {

QVariant value(const QString& key);
bool contains(const QString& key);
void setValue(const QString& key, const QVariant& value);
void remove(const QString& key);

} // namespace LWDefaults
