#include "TestFiles.h"

#include "BCPreferences.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSettings>
#include <QThread>

TestFolder::TestFolder() : m_dir(QDir::tempPath() + QStringLiteral("/lorowen-files-XXXXXX")) {}

QString TestFolder::write(const QString& name, const QByteArray& bytes) const {
    QFile file(path(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path(name);
}

QByteArray TestFolder::read(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void clearPreferences() {
    QSettings settings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro"));
    settings.clear();
    settings.sync();
}

QVariant storedPreference(const QString& key) {
    return QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro")).value(key);
}

bool hasStoredPreference(const QString& key) {
    return QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro")).contains(key);
}

BCPreferences& testPreferences() {
    static const std::unique_ptr<BCPreferences> preferences = BCPreferences::user();
    return *preferences;
}

void storePreference(const QString& key, const QVariant& value) {
    QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro")).setValue(key, value);
}
