#include "BCFileTarget.h"

#include "BCError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

BCFileTarget::BCFileTarget(QString destination, const QString& temporaryName)
    : m_destination(std::move(destination)) {
    const QFileInfo info(m_destination);
    // A unique name next to the destination, created empty so no other writer can take it.
    QTemporaryFile file(
        info.absolutePath() + u'/' +
        (temporaryName.isEmpty()
             ? u'.' + info.completeBaseName() + QStringLiteral(".XXXXXX.part.") + info.suffix()
             : temporaryName));
    file.setAutoRemove(false);
    if (!file.open())
        throw BCError(QStringLiteral("The file “%1” couldn't be saved: %2.")
                          .arg(info.fileName(), file.errorString()),
                      m_destination);
    m_temporary = file.fileName();
    file.close();
}

BCFileTarget::~BCFileTarget() {
    if (!m_committed && !m_temporary.isEmpty())
        QFile::remove(m_temporary);
}

namespace {

// The process's file-creation mask, read without changing it (umask(2) would, for every thread).
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask);
            }
    return 022;
}

} // namespace

void BCFileTarget::commit() {
    // The temporary file was made private; the result gets the permissions of a new file, or
    // those of the file it replaces.
    struct stat existing {};
    const mode_t mode = ::stat(QFile::encodeName(m_destination).constData(), &existing) == 0
                            ? (existing.st_mode & 07777)
                            : (0666 & ~currentUmask());
    ::chmod(QFile::encodeName(m_temporary).constData(), mode);
    // rename(2) replaces the destination in one step; QFile::rename refuses to overwrite.
    if (std::rename(QFile::encodeName(m_temporary).constData(),
                    QFile::encodeName(m_destination).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(m_temporary);
        m_committed = true;
        throw BCError(QStringLiteral("The file “%1” couldn't be saved: %2.")
                          .arg(QFileInfo(m_destination).fileName(), reason),
                      m_destination);
    }
    m_committed = true;
}
