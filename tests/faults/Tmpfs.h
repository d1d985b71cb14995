#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

// A small tmpfs mounted over a folder for one test, so the disk can be filled or made read-only
// for real. Mounting needs root; `reason()` says why it could not be done so the test can skip.
class ScopedTmpfs {
public:
    ScopedTmpfs(const QString& folder, int kilobytes) : m_folder(folder) {
        QDir().mkpath(folder);
        if (geteuid() != 0) {
            m_reason = QStringLiteral("mounting a small tmpfs to fill needs root");
            return;
        }
        m_options = "size=" + QByteArray::number(kilobytes) + "k";
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                    m_options.constData()) != 0) {
            m_reason = QStringLiteral("mounting a tmpfs failed: ") +
                       QString::fromLocal8Bit(strerror(errno));
            return;
        }
        m_mounted = true;
    }
    ~ScopedTmpfs() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool mounted() const { return m_mounted; }
    std::string reason() const { return m_reason.toStdString(); }
    QString filler() const { return m_folder + QStringLiteral("/.filler"); }

    // Writes a filler file until the disk is full, leaving about `keepBytes` free.
    void fill(qint64 keepBytes = 0) {
        const int fd =
            ::open(QFile::encodeName(filler()).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return;
        const QByteArray block(4096, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        if (keepBytes > 0) {
            const off_t size = ::lseek(fd, 0, SEEK_END);
            if (::ftruncate(fd, std::max<off_t>(0, size - off_t(keepBytes))) != 0) {
            }
        }
        ::close(fd);
    }
    void unfill() { QFile::remove(filler()); }

    // Makes the whole file system read-only (or writable again).
    bool setReadOnly(bool readOnly) {
        return ::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs",
                       MS_REMOUNT | (readOnly ? MS_RDONLY : 0), m_options.constData()) == 0;
    }

    // The names in the folder besides the filler.
    QStringList files() const {
        QStringList names = QDir(m_folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        names.removeAll(QStringLiteral(".filler"));
        return names;
    }

private:
    QString m_folder;
    QByteArray m_options;
    QString m_reason;
    bool m_mounted = false;
};

#define REQUIRE_TMPFS(fs)                                                                          \
    if (!(fs).mounted())                                                                           \
    GTEST_SKIP() << "Skipped: " << (fs).reason()
