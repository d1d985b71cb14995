#pragma once

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
