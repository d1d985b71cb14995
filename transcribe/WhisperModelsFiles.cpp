// The models folder on disk: the installed test, installation and hashing. No member state;
// every function here is static and callable from any thread.
#include "WhisperModels.h"

#include "BCError.h"
#include "BCFiles.h"
#include "BCSha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString WhisperModels::folder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("BRCT Lorowen Pro/Whisper Models"));
}

bool WhisperModels::isInstalled(const WhisperModel& model, const QString& folder) {
    const QDir dir(folder);
    const QFileInfo file(dir.filePath(model.file));
    if (!file.isFile() || file.size() != model.bytes)
        return false;
    QFile marker(dir.filePath(model.file + QStringLiteral(".verified")));
    if (!marker.open(QIODevice::ReadOnly))
        return false;
    // A marker is 64 characters and a line end or so; never read a stray large file whole.
    return marker.read(4096).trimmed() == model.sha256.toLatin1();
}

void WhisperModels::install(const QString& downloaded, const WhisperModel& model,
                            const QString& folder, std::stop_token stop) {
    const QFileInfo info(downloaded);
    const qint64 size = info.exists() ? info.size() : -1;
    if (size != model.bytes) {
        // A rejected download is deleted: it would otherwise sit there, hundreds of megabytes
        // of it, and be "resumed" past its real end next time.
        QFile::remove(downloaded);
        throw BCError(QStringLiteral("The download of %1 was incomplete (%2 of %3 bytes). Please "
                                     "try again.")
                          .arg(model.name)
                          .arg(size)
                          .arg(model.bytes));
    }
    if (sha256(downloaded, stop) != model.sha256) {
        QFile::remove(downloaded);
        throw BCError(QStringLiteral("The downloaded %1 file didn't pass its safety check "
                                     "(checksum mismatch), so it was not used. Please try again.")
                          .arg(model.name));
    }
    if (!QDir().mkpath(folder))
        throw BCError(QStringLiteral("Can't create the models folder “%1”.").arg(folder));

    const QDir dir(folder);
    const QString target = dir.filePath(model.file);
    const QString markerPath = dir.filePath(model.file + QStringLiteral(".verified"));
    // The old marker goes first, so no moment shows a marker beside a file it doesn't vouch for.
    QFile::remove(markerPath);
    if (QFileInfo(downloaded).absoluteFilePath() != QFileInfo(target).absoluteFilePath()) {
        QFile::remove(target);
        QFile moving(downloaded);
        if (!moving.rename(target))
            throw BCError(
                QStringLiteral("The downloaded model couldn't be moved into “%1”.").arg(folder),
                moving.errorString());
    }
    try {
        BCFiles::writeAtomically(markerPath, model.sha256.toUtf8());
    } catch (const BCError& e) {
        throw BCError(
            QStringLiteral("The model's marker file couldn't be written in “%1”.").arg(folder),
            e.detail());
    }
}

QString WhisperModels::sha256(const QString& file, std::stop_token stop) {
    return BCSha256::ofFile(file, stop);
}

QString WhisperModels::byteCount(qint64 bytes) {
    if (bytes < 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    struct Unit {
        double size;
        const char* name;
        int decimals;
    };
    static constexpr Unit units[] = {{1e3, "KB", 0}, {1e6, "MB", 1}, {1e9, "GB", 2}};
    const Unit* unit = &units[0];
    for (const Unit& u : units) {
        if (double(bytes) >= u.size * 0.9995)
            unit = &u;
    }
    QString number = QString::number(double(bytes) / unit->size, 'f', unit->decimals);
    if (number.contains(u'.')) {
        while (number.endsWith(u'0'))
            number.chop(1);
        if (number.endsWith(u'.'))
            number.chop(1);
    }
    return number + u' ' + QLatin1String(unit->name);
}
