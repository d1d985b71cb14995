#include "BCFiles.h"

#include "BCError.h"

#include <QFileInfo>
#include <QSaveFile>

namespace BCFiles {

void writeAtomically(const QString& path, const QByteArray& bytes) {
    const QString name = QFileInfo(path).fileName();
    auto failure = [&](const QString& reason) {
        return BCError(QStringLiteral("The file “%1” couldn't be saved: %2.").arg(name, reason),
                       path);
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw failure(file.errorString());
    // A short write sits in Qt's buffer and only meets a full disk while flushing, which commit()
    // doesn't report: flush first so that failure cancels the write too.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw failure(reason);
    }
    if (!file.commit())
        throw failure(file.errorString());
}

} // namespace BCFiles
