#include "BCExportTarget.h"

#include "BCError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

BCExportTarget::BCExportTarget(QString destination) : m_destination(std::move(destination)) {
    const QFileInfo info(m_destination);
    // A unique name next to the destination, created empty so no other export can take it.
    QTemporaryFile file(info.absolutePath() + QStringLiteral("/.") + info.completeBaseName() +
                        QStringLiteral(".XXXXXX.part.") + info.suffix());
    file.setAutoRemove(false);
    if (!file.open())
        throw BCError(QStringLiteral("The file “%1” couldn't be saved: %2.")
                          .arg(info.fileName(), file.errorString()),
                      m_destination);
    m_temporary = file.fileName();
    file.close();
}

BCExportTarget::~BCExportTarget() {
    if (!m_committed && !m_temporary.isEmpty())
        QFile::remove(m_temporary);
}

void BCExportTarget::commit() {
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
