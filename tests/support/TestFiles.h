#pragma once

#include <QVariant>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>

// A private folder for one test's files.
class TestFolder {
public:
    TestFolder();
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;
    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
bool spinUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// Clears every remembered preference.
void clearPreferences();
// The remembered preferences as stored on disk (the test program's private folders).
QVariant storedPreference(const QString& key);
bool hasStoredPreference(const QString& key);
void storePreference(const QString& key, const QVariant& value);
// A view of those preferences for services a test makes itself (it holds no state of its own).
class BCPreferences& testPreferences();
