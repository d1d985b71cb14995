#include "BCFiles.h"

#include "BCError.h"
#include "BCFileTarget.h"

#include <QFile>
#include <QFileInfo>

namespace BCFiles {

void writeAtomically(const QString& path, const QByteArray& bytes) {
    const QString name = QFileInfo(path).fileName();
    BCFileTarget target(path);
    QFile file(target.path());
    // A short write sits in Qt's buffer and only meets a full disk while flushing: flush and
    // close before the rename so that failure leaves the old file.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        (file.close(), file.error() != QFileDevice::NoError))
        throw BCError(
            QStringLiteral("The file “%1” couldn't be saved: %2.").arg(name, file.errorString()),
            path);
    target.commit();
}

} // namespace BCFiles
